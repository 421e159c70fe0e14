// output_file.h - the last step of every output the preview host writes.
//
// Outputs are written under a temporary name ("<path>.part") and moved under
// their final name only when complete, so a failed or interrupted run never
// leaves a file that looks finished.
#ifndef LUMAGROVE_OUTPUT_FILE_H
#define LUMAGROVE_OUTPUT_FILE_H

#include <string>

// Renames `from` to `to`, replacing a file already there (also on Windows,
// where rename() does not). Returns 0, or the errno of the failure.
int MoveIntoPlace(const std::string& from, const std::string& to);

#endif
