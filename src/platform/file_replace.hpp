// Replacing a file's contents so that a crash or power cut leaves either the old file or the
// new one, never half of either.
#pragma once

#include <string>

namespace ostrel::platform {

enum class ReplaceOutcome {
    done,          ///< the new contents are in place and on disk
    not_started,   ///< the temporary file beside the target could not be created
    not_finished,  ///< writing, flushing or the final swap failed; the old file is untouched
};

/// Writes `text` to a new file beside `path` that only the current user may read, flushes it
/// to disk and puts it in place of `path` in one step.
ReplaceOutcome replace_file(const std::string& path, const std::string& text);

}  // namespace ostrel::platform
