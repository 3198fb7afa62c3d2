// Whether the tests run under AddressSanitizer (gcc and clang spell it differently).
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TSL_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TSL_UNDER_ASAN 1
#endif
#endif
