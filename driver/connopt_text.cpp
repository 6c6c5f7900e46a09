// Text values of the option and information calls.
#include "driver/connopt_text.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "driver/dispatch.h"
#include "util/errcodes.h"
#include "util/owners.h"
#include "util/textconv.h"

bool OPT_ReadText(const void* value, int64_t length, int mode, TextIn form, std::string* out,
                  int32_t* code) {
  out->clear();
  if (value == nullptr) return true;
  if (length < 0 && length != SQL_NTS) {
    *code = ERR_INVALID_LENGTH;
    return false;
  }
  if (mode != kWidthWide) {
    const char* text = static_cast<const char*>(value);
    if (length == SQL_NTS) {
      out->assign(text);
    } else {
      out->assign(text, static_cast<size_t>(length));
    }
    return true;
  }
  const auto* wide = static_cast<const char16_t*>(value);
  const int64_t units = length == SQL_NTS ? SQL_NTS : length / 2;
  UniqueFree<char> utf8(form == TextIn::Agent ? utf16_to_utf8_dupn(wide, units)
                                              : wide_to_mb_dup(wide, units));
  if (utf8 == nullptr) {
    *code = ERR_NO_MEMORY;
    return false;
  }
  out->assign(utf8.get());
  return true;
}

int OPT_WriteText(const std::string& text, void* buf, int64_t size, int mode, int64_t* full) {
  if (mode == kWidthWide) {
    int64_t units = 0;
    const int64_t room = size > 0 ? size / 2 : 0;
    // The converter stores the whole length first, also for a null buffer.
    const int rc = utf8_to_utf16_out64(text.c_str(), static_cast<char16_t*>(buf),
                                       buf == nullptr ? 0 : room, &units);
    if (full != nullptr) *full = units * 2;
    if (buf == nullptr) return 0;
    if (room == 0) return size > 0 || !text.empty() ? 1 : 0;
    return rc == 0 ? 0 : 1;
  }
  if (full != nullptr) *full = static_cast<int64_t>(text.size());
  if (buf == nullptr) return 0;
  if (size <= 0) return text.empty() && size == 0 ? 0 : 1;
  const size_t n = utf8_prefix_len(text.data(), text.size(), static_cast<size_t>(size - 1));
  std::memcpy(buf, text.data(), n);
  static_cast<char*>(buf)[n] = '\0';
  return n == text.size() ? 0 : 1;
}
