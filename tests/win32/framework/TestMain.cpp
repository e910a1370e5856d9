// The framework tests run in the multithreaded apartment, as a host's streaming
// code does; the system's filter graph calls the filters from its own threads.
#include <gtest/gtest.h>

#include <objbase.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
