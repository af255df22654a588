// Writes records of doubles as text lines to a stream: each value behind a
// delimiter, a number as printf's "%5f" makes it (six decimals, at least
// five wide), a missing value as a text of its own, and a line feed after
// the record. Private to the library.
//
// The text export's layout is the delimiter "  " and the missing text
// " missing". The lines are gathered in a large buffer that goes out in few
// writes; every write and the final flush are checked, and after a failed
// write nothing more is written.
#ifndef KVOADAPTER_KVOTEXTRECORDWRITER_H
#define KVOADAPTER_KVOTEXTRECORDWRITER_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

class KVOTextRecordWriter {
 public:
  // Borrows `stream`, open for writing, which the caller closes after
  // Finish.
  KVOTextRecordWriter(FILE* stream, std::string delimiter, std::string missingText);
  // The writer holds a stream position and buffered text: copying is
  // refused.
  KVOTextRecordWriter(const KVOTextRecordWriter&) = delete;
  KVOTextRecordWriter& operator=(const KVOTextRecordWriter&) = delete;

  // Formats `count` values as one line into the buffer, writing the buffer
  // out whenever it runs short of room. False once a write has failed.
  bool WriteRecord(const double* values, int count);
  // Writes out what is buffered and flushes the stream; true when every
  // write, the flush and the stream's error state were fine.
  bool Finish();

 private:
  // Writes the buffer out unless it has room for `bytes` more.
  void MakeRoom(size_t bytes);
  // Appends `value` as "%5f" makes it.
  void AppendNumber(double value);

  FILE* fpStream;
  std::string fDelimiter;
  std::string fMissingText;
  // The most one value takes: its delimiter and its text.
  size_t fValueRoom;
  std::vector<char> fvBuffer;
  size_t fUsed = 0;
  bool fbOk = true;
};

#endif  // KVOADAPTER_KVOTEXTRECORDWRITER_H
