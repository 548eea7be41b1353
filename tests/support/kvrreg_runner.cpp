#include "support/kvrreg_runner.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/temporary_registry.h"

KvrregRun RunKvrreg(const std::vector<std::string>& arguments) {
    return RunProgram(KVR_BINARY_DIR "/tools/kvrreg", arguments);
}

void ImportWithKvrreg(const std::string& keysAndValues) {
    const char* folder = ::getenv("VELTRA_REGISTRY_DIR");
    ASSERT_NE(folder, nullptr) << "no registry folder of the test's own";
    const std::string file = std::string(folder) + "/import.reg";
    WriteWholeFile(file, "REGEDIT4\n\n" + keysAndValues);
    KvrregRun run = RunKvrreg({"import", file});
    EXPECT_EQ(run.exitStatus, 0) << run.err << keysAndValues;
}
