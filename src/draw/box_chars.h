// The characters of the drawing.
#pragma once

namespace velorin::draw {

inline constexpr char16_t kBlank = u' ';
inline constexpr char16_t kLine = u'\u2500';            // ─ quantum wire, borders
inline constexpr char16_t kClassicalLine = u'\u2550';   // ═
inline constexpr char16_t kLink = u'\u2502';            // │
inline constexpr char16_t kTopLeft = u'\u250C';         // ┌
inline constexpr char16_t kTopRight = u'\u2510';        // ┐
inline constexpr char16_t kBottomLeft = u'\u2514';      // └
inline constexpr char16_t kBottomRight = u'\u2518';     // ┘
inline constexpr char16_t kRightSide = u'\u251C';       // ├
inline constexpr char16_t kLeftSide = u'\u2524';        // ┤
inline constexpr char16_t kLinkDown = u'\u252C';        // ┬
inline constexpr char16_t kLinkUp = u'\u2534';          // ┴
inline constexpr char16_t kBarrier = u'\u254E';         // ╎
inline constexpr char16_t kMeasureLink = u'\u2551';     // ║
inline constexpr char16_t kMeasureLeave = u'\u2565';    // ╥
inline constexpr char16_t kConditionJoin = u'\u2567';   // ╧
inline constexpr char16_t kMeasureJoin = u'\u2569';     // ╩
inline constexpr char16_t kSwapMark = u'\u2573';        // ╳
inline constexpr char16_t kControl = u'\u25A0';         // ■ control, start of a wire
inline constexpr char16_t kPageEnd = u'\u00BB';         // »
inline constexpr char16_t kPageStart = u'\u00AB';       // «

}  // namespace velorin::draw
