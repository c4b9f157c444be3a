// The engine tests' ser2net helper, built into this executable as well.
#include "exchange/ser2net_process.cpp"
