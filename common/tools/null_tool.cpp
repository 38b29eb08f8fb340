#include "common/tools/null_tool.h"
// NullTool is header-only; this unit keeps the library's one-file-per-type layout.
