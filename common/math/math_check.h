#pragma once
// Guards on the caller's indices and shapes in the vec/mat templates. A violation is a
// programming error, never a data error: it prints the check's text, the source file and the
// line to stderr and aborts. The guards stay on in release builds (they are one compare each).

// Prints "Assertion failed: <text>, file <file>, line <line>" and aborts.
[[noreturn]] void mathCheckFailed(const char* text, const char* file, int line);

// Reports `text` when `cond` is false.
#define MATH_CHECK_TEXT(cond, text) \
    (__builtin_expect(static_cast<bool>(cond), 1) ? (void)0 : mathCheckFailed(text, __FILE__, __LINE__))

// Reports the condition's own source text.
#define MATH_CHECK(cond) MATH_CHECK_TEXT(cond, #cond)
