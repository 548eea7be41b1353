// Runs the kvrreg program built beside the tests, as an administrator would, in the registry folder
// named by VELTRA_REGISTRY_DIR.
#pragma once

#include <string>
#include <vector>

#include "support/program_runner.h"

using KvrregRun = ProgramRun;

KvrregRun RunKvrreg(const std::vector<std::string>& arguments);
