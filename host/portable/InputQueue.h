// Input that the system hands to the GUI thread (a key on its way through the hook chain). The
// loop serves it before posted messages, as Windows serves a sent message, and only while the
// thread retrieves messages.
#pragma once

#include <functional>

namespace host::portable {

// Any thread.
void QueueInput(std::function<void()> call);
// GUI thread: serves one piece of waiting input and nothing else; false when none was waiting.
bool ServeInput();

}  // namespace host::portable
