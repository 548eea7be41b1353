#include "support/kvrreg_runner.h"

KvrregRun RunKvrreg(const std::vector<std::string>& arguments) {
    return RunProgram(KVR_BINARY_DIR "/tools/kvrreg", arguments);
}
