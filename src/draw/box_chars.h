// The characters of the drawing.
#pragma once

namespace velorin::draw {

inline constexpr char32_t kBlank = U' ';
inline constexpr char32_t kLine = U'\u2500';            // ─ quantum wire, borders
inline constexpr char32_t kClassicalLine = U'\u2550';   // ═
inline constexpr char32_t kLink = U'\u2502';            // │
inline constexpr char32_t kTopLeft = U'\u250C';         // ┌
inline constexpr char32_t kTopRight = U'\u2510';        // ┐
inline constexpr char32_t kBottomLeft = U'\u2514';      // └
inline constexpr char32_t kBottomRight = U'\u2518';     // ┘
inline constexpr char32_t kRightSide = U'\u251C';       // ├
inline constexpr char32_t kLeftSide = U'\u2524';        // ┤
inline constexpr char32_t kLinkDown = U'\u252C';        // ┬
inline constexpr char32_t kLinkUp = U'\u2534';          // ┴
inline constexpr char32_t kBarrier = U'\u254E';         // ╎
inline constexpr char32_t kMeasureLink = U'\u2551';     // ║
inline constexpr char32_t kMeasureLeave = U'\u2565';    // ╥
inline constexpr char32_t kConditionJoin = U'\u2567';   // ╧
inline constexpr char32_t kMeasureJoin = U'\u2569';     // ╩
inline constexpr char32_t kSwapMark = U'\u2573';        // ╳
inline constexpr char32_t kControl = U'\u25A0';         // ■ control, start of a wire
inline constexpr char32_t kPageEnd = U'\u00BB';         // »
inline constexpr char32_t kPageStart = U'\u00AB';       // «

}  // namespace velorin::draw
