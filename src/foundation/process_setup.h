// The process-wide locks that areas of the relay share across their objects. Each is built on first
// use, thread-safely, and lives until the process exits; nothing process-wide is built before main,
// so no setting is ever read before the program has set up its registry folder and its log.
//
// Each lock guards its own area only, and none is taken while another of them is held.
//
// The other process-wide objects are kept by their own modules, built on first use the same way:
// the stop event (stop_event.h), the log manager (log_manager.h), the exception capture registry
// (exceptions.h), the thread-exit functions (thread_exit_functions.h), the character classes
// (character_classes.h) and the timing depth of each thread (timing_log.h).
#pragma once

#include "foundation/critical_section.h"

// Serialises the handling of client registration requests.
CriticalSection& ClientRegistrationLock();
// Guards the process-wide list of registered clients.
CriticalSection& RegistrationListLock();
// Serialises the mirror-request plug-in's requests.
CriticalSection& MirrorRequestLock();
