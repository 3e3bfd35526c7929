#include "net/request_failure.h"

#include "core/json_reader.h"
#include "core/text.h"

namespace nimbard {
namespace {

std::wstring BoundedText(std::string_view value) {
  // One unit more than the bound tells a cut text from one that just fits.
  return CutText(json::AsString(value, kMaxApiErrorChars + 1).value_or(std::wstring()), kMaxApiErrorChars);
}

}  // namespace

bool ReadApiError(std::string_view errorObject, ApiError& error) {
  const std::string_view code = json::Member(errorObject, "code");
  const std::optional<std::uint32_t> number = json::AsUint32(code);
  error.code = number ? DecimalText(*number) : BoundedText(code);
  error.message = BoundedText(json::Member(errorObject, "message"));
  return !error.code.empty() || !error.message.empty();
}

}  // namespace nimbard
