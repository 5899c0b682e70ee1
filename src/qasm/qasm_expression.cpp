// Parameter expressions, evaluated while they are read: an operand stack and
// an operator stack, operators of equal precedence applied left to right.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "qasm/qasm2.h"

namespace velorin {

using namespace qasm_code;

namespace {

constexpr double kPiValue = 3.141592653589793;
// Function calls nest by recursion; parentheses use the stacks.
constexpr int kMaxFunctionDepth = 256;
constexpr int32_t kSignOffset = 1000;

// A sign binds tighter than * and / and looser than ^: -2^2 is -4, 2*-3 is -6.
int Precedence(int32_t entry) {
  switch (entry) {
    case kPlus:
    case kMinus:
      return 1;
    case kStar:
    case kSlash:
      return 2;
    case kSignOffset + kPlus:
    case kSignOffset + kMinus:
      return 3;
    case kCaret:
      return 4;
    default:
      return 0;  // the '(' marker
  }
}

bool IsBinaryOperator(int32_t code) {
  return code == kPlus || code == kMinus || code == kStar || code == kSlash || code == kCaret;
}

double ApplyFunction(int32_t code, double x) {
  switch (code) {
    case 101: return std::sin(x);
    case 102: return std::cos(x);
    case 103: return std::tan(x);
    case 104: return std::log(x);
    case 105: return std::exp(x);
    case 106: return std::sqrt(x);
    case 107: return std::cbrt(x);
    case 108: return std::asin(x);
    case 109: return std::acos(x);
    default: return std::atan(x);
  }
}

// Locale-independent. The whole literal must convert (1e or . do not); one
// too small for a double is 0, one too large is refused.
bool ToDouble(const std::string& text, double& value) {
  const char* begin = text.data();
  const auto [end, ec] = std::from_chars(begin, begin + text.size(), value);
  if (end != begin + text.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    const size_t mark = text.find_first_of("eE");
    if (mark == std::string::npos || mark + 1 >= text.size() || text[mark + 1] != '-') return false;
    value = 0.0;
    return true;
  }
  return ec == std::errc();
}

}  // namespace

qasm2::Value qasm2::ApplyOperator(double left, double right, int32_t op) {
  switch (op) {
    case kPlus: return {left + right, true};
    case kMinus: return {left - right, true};
    case kStar: return {left * right, true};
    case kSlash:
      if (right == 0.0 || std::isnan(right)) {
        error_code_ = 20;
        return {0.0, false};
      }
      return {left / right, true};
    case kCaret: return {std::pow(left, right), true};
    default: return {0.0, false};
  }
}

qasm2::Value qasm2::EvaluateExpression(Token& token, bool argument_mode,
                                       const std::vector<std::string>& names,
                                       const std::vector<double>& values) {
  return EvaluateNested(token, argument_mode, names, values, 0);
}

qasm2::Value qasm2::EvaluateNested(Token& token, bool argument_mode,
                                   const std::vector<std::string>& names,
                                   const std::vector<double>& values, int depth) {
  const Value failed{0.0, false};
  if (depth > kMaxFunctionDepth) return error_code_ = 19, failed;
  if (argument_mode && token.code != kLeftParen) return failed;

  std::vector<double> operands;
  std::vector<int32_t> operators;
  int open = 0;
  enum class Last { kStart, kOpen, kOperator, kOperand } last = Last::kStart;

  auto apply_top = [&]() {
    const int32_t entry = operators.back();
    operators.pop_back();
    if (entry >= kSignOffset) {
      if (operands.empty()) return error_code_ = 19, false;
      if (entry == kSignOffset + kMinus) operands.back() = -operands.back();
      return true;
    }
    if (entry == kLeftParen || operands.size() < 2) return error_code_ = 19, false;
    const double right = operands.back();
    operands.pop_back();
    const Value v = ApplyOperator(operands.back(), right, entry);
    if (!v.ok) return error_code_ = 19, false;
    operands.back() = v.value;
    return true;
  };
  auto read_number = [&](const Token& first, double& value) {
    if (!ToDouble(ReadNumber(first), value)) return error_code_ = 21, false;
    return true;
  };
  // Two operands with no operator between them are an error.
  auto operand_allowed = [&]() {
    if (last == Last::kOperand) return error_code_ = 19, false;
    return true;
  };

  // A gate's parameter may spell a keyword (a parameter named e or cbrt).
  auto parameter_value = [&]() {
    size_t i = 0;
    while (i < names.size() && names[i] != token.text) ++i;
    if (i >= names.size() || i >= values.size()) return false;
    operands.push_back(values[i]);
    last = Last::kOperand;
    return true;
  };

  for (;;) {
    bool finished = false;
    const bool is_parameter = IsWordToken(token) && !names.empty() &&
                              std::find(names.begin(), names.end(), token.text) != names.end();
    switch (is_parameter ? kIdentifier : token.code) {
      case kEnd:
      case kSemicolon:
        finished = true;
        break;
      case kLeftParen:
        if (!operand_allowed()) return failed;
        operators.push_back(kLeftParen);
        ++open;
        last = Last::kOpen;
        break;
      case kPoint:  // a number written without its integer part: .5
      case kDigits: {
        double value = 0.0;
        if (!operand_allowed() || !read_number(token, value)) return failed;
        operands.push_back(value);
        last = Last::kOperand;
        break;
      }
      case kIdentifier:
        if (!operand_allowed()) return failed;
        if (!parameter_value()) return error_code_ = 18, failed;
        break;
      case kPi:
        if (!operand_allowed()) return failed;
        operands.push_back(kPiValue);
        last = Last::kOperand;
        break;
      case kRightParen:
        if (open == 0) {
          PushBack(token);
          finished = true;
          break;
        }
        while (!operators.empty() && operators.back() != kLeftParen) {
          if (!apply_top()) return failed;
        }
        if (!operators.empty()) operators.pop_back();
        --open;
        last = Last::kOperand;
        break;
      default:
        if (token.code >= kFirstFunction && token.code <= kLastFunction) {
          if (!operand_allowed()) return failed;
          const int32_t function = token.code;
          Token argument = ReadToken();
          const Value v = EvaluateNested(argument, true, names, values, depth + 1);
          if (!v.ok) return failed;
          operands.push_back(ApplyFunction(function, v.value));
          last = Last::kOperand;
        } else if ((token.code == kPlus || token.code == kMinus) && last != Last::kOperand) {
          // A sign applies to the operand that follows, whatever it is.
          operators.push_back(kSignOffset + token.code);
          last = Last::kOperator;
        } else if (IsBinaryOperator(token.code)) {
          while (!operators.empty() && Precedence(operators.back()) >= Precedence(token.code)) {
            if (!apply_top()) return failed;
          }
          operators.push_back(token.code);
          last = Last::kOperator;
        } else {
          PushBack(token);
          finished = true;
        }
    }
    if (finished) break;
    if (argument_mode && open == 0) break;
    token = ReadToken();
  }

  if (argument_mode && open > 0) return failed;
  while (!operators.empty()) {
    if (!apply_top()) return failed;
  }
  if (operands.size() != 1) return error_code_ = 19, failed;
  return {operands.back(), true};
}

}  // namespace velorin
