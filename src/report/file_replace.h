#pragma once
// Replacing a whole file safely, for any program that writes a file
// completely and then puts it in place of an earlier one.
#include <string>

namespace queuecalc {

// Writes `bytes` (exactly, no line-end translation) to the file at `path`,
// which the caller names relative to the working folder or absolutely.
//
// The bytes go to a new hidden file beside the target (".NAME.XXXXXX" in the
// same folder), are flushed to disk, and only then does the new file take the
// target's name in one step, so that an earlier file survives any failure
// whole: after a failed call the target is as it was and no new file is left
// behind. Where the folder takes no new file but the target itself is
// writable, the target is overwritten in place instead. A target that is not
// writable (read-only) is refused, as is a folder of the target's name.
//
// Returns the empty string on success, else the reason in the system's words
// without a final full stop ("Permission denied"); the caller wraps it in its
// own message. Never throws for a failure of the file system.
//
// POSIX: mkstemp, fsync, rename; the new file keeps the permissions (and,
// where allowed, the owner) of the earlier one; a symbolic link is followed
// and the file it points to replaced; a device or pipe is written, not
// replaced. Windows: CreateFileW, FlushFileBuffers, MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; narrow paths are in
// the code page the system uses for file names; a target held open by
// another program without delete sharing (a spreadsheet, say) is refused.
std::string replaceFile(const std::string& path, const std::string& bytes);

}  // namespace queuecalc
