// The shell tests' process helpers (temporary folders, started programs, their output),
// built into this executable as well.
#include "app/process_support.cpp"
