// Runs the kvrreg program built beside the tests, as an administrator would, in the registry folder
// named by VELTRA_REGISTRY_DIR.
#pragma once

#include <string>
#include <vector>

#include "support/program_runner.h"

using KvrregRun = ProgramRun;

KvrregRun RunKvrreg(const std::vector<std::string>& arguments);

// Applies REGEDIT4 keys and values ("[HKLM\\Software\\...]" lines, then "\"Name\"=..." lines) with
// `kvrreg import`, as an administrator would, to the registry folder named by VELTRA_REGISTRY_DIR; a
// test failure when kvrreg refuses them.
void ImportWithKvrreg(const std::string& keysAndValues);
