/*
 * What the C test programs share: CHECK, which counts a failed condition
 * and names it, and the length of UTF-16 text.
 */
#ifndef QZ_TESTS_CAPI_CHECK_H
#define QZ_TESTS_CAPI_CHECK_H

#include <QZNVGeZhuanDB.h>
#include <stdio.h>

static int failures = 0;

#define CHECK(condition)                                                      \
  do {                                                                        \
    if (!(condition)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                             \
    }                                                                         \
  } while (0)

static size_t Length(const QZNVChar* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

#endif
