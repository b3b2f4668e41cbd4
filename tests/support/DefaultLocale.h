#pragma once

#include <unicode/locid.h>

namespace taskory::test {

// Sets ICU's default locale for a scope and restores the previous one.
struct DefaultLocale {
  icu::Locale saved = icu::Locale::getDefault();
  ~DefaultLocale() { set(saved); }
  static bool set(const icu::Locale &locale) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(locale, status);
    return U_SUCCESS(status);
  }
};

} // namespace taskory::test
