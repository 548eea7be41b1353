// Runs the kvrreg program built beside the tests, as an administrator would, in the registry folder
// named by VELTRA_REGISTRY_DIR.
#pragma once

#include <string>
#include <vector>

struct KvrregRun {
    int exitStatus = -1;  // 128 + the signal when it was killed
    std::string out;
    std::string err;
};

KvrregRun RunKvrreg(const std::vector<std::string>& arguments);
