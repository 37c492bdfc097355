#pragma once

// The program's one message handler: debug, warning and critical messages are
// dropped; a fatal message aborts the process at once, without saving anything.
namespace MessageHandler {

void install();

} // namespace MessageHandler
