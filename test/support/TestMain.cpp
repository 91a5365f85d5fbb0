#include "Log.h"
#include "LogAppenders.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Trace records of the code under test would bury the test output;
    // tests that look at records install a recorder of their own.
    static NopLogAppender quiet;
    processLogger().setAppender(&quiet);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
