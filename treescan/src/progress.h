// Progress signalling: workers tell the owner thread that NextTree or NextFind has news, through
// one eventfd that WaitForProgress blocks on and an event loop can watch.
#pragma once

namespace treescan {

enum class Progress { tree = 0, find = 1 };

// Called by a worker after it changed what Next* reports. Cheap when the owner has not looked
// since the last call: only the first signal after a look touches the descriptor.
void signalProgress(Progress kind) noexcept;

// Called by Next* before it looks at the state: the next change of `kind` signals again.
void progressSeen(Progress kind) noexcept;

} // namespace treescan
