// Input files of kvo: data, schema, model and matrix files must be regular
// files. Plain functions; any thread.
#ifndef KVO_TOOL_INPUTFILE_H
#define KVO_TOOL_INPUTFILE_H

#include <filesystem>
#include <string>

#include "KvoError.h"

namespace kvo {

// Refuses (input error naming `path`) an input that exists but is not a
// regular file: a device such as /dev/zero never ends, a directory cannot be
// read, and a FIFO nobody writes to blocks for ever. A FIFO is accepted
// where `allowPipe` says so (the data, which a command may stream into kvo;
// it is read once). A path that does not exist is left to the reader, which
// names it.
inline void RequireRegularFile(const std::string& path, const std::string& what, bool allowPipe = false) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status) || fs::is_regular_file(status) || (allowPipe && fs::is_fifo(status))) return;
  const char* kind = fs::is_directory(status)                                     ? "a directory"
                     : fs::is_fifo(status)                                        ? "a pipe (FIFO)"
                     : fs::is_character_file(status) || fs::is_block_file(status) ? "a device"
                                                                                  : "not a regular file";
  throw InputError(path + ": the " + what + " is " + kind + "; give a regular file");
}

}  // namespace kvo

#endif  // KVO_TOOL_INPUTFILE_H
