// Whether this test binary runs under AddressSanitizer, whose shadow memory
// and quarantine make a process's memory use no measure of its own.
#ifndef KIVREL_TESTS_SUPPORT_SANITIZED_H_
#define KIVREL_TESTS_SUPPORT_SANITIZED_H_

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

#endif  // KIVREL_TESTS_SUPPORT_SANITIZED_H_
