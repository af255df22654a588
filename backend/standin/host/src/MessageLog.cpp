// The stand-in host's message log and front output: BpError and BP_ToFront
// record what they are given and echo it unless told not to.
#include <vorm/ProcOutput.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "standin/HostControl.h"

namespace standin {
namespace {

struct OutputState {
  std::mutex fMutex;
  std::vector<HostMessage> fMessages;
  std::string fFront;
  std::atomic<bool> fbEchoMessages{true};
  std::atomic<bool> fbEchoFront{true};
};

OutputState& State() {
  static OutputState state;
  return state;
}

const char* LevelWord(int level) {
  switch (level) {
    case BpLevelError:
      return "Error";
    case BpLevelWarning:
      return "Warning";
    case BpLevelNote:
      return "Note";
    default:
      return "Message";
  }
}

}  // namespace

std::vector<HostMessage> Messages() {
  std::lock_guard<std::mutex> lock(State().fMutex);
  return State().fMessages;
}

void ClearMessages() {
  std::lock_guard<std::mutex> lock(State().fMutex);
  State().fMessages.clear();
}

void SetEchoMessages(bool echo) { State().fbEchoMessages = echo; }

std::string FrontOutput() {
  std::lock_guard<std::mutex> lock(State().fMutex);
  return State().fFront;
}

void ClearFrontOutput() {
  std::lock_guard<std::mutex> lock(State().fMutex);
  State().fFront.clear();
}

void SetEchoFront(bool echo) { State().fbEchoFront = echo; }

}  // namespace standin

// Logs the message; echoes "<Level>: <text>" to stderr unless echoing is off
// or the message is not to be shown (BpShowNone).
void BpError(const BpCellText& text, BpErrorShow show, BpErrorLevel level) {
  standin::HostMessage message{show, level, text.Text()};
  {
    std::lock_guard<std::mutex> lock(standin::State().fMutex);
    standin::State().fMessages.push_back(message);
  }
  if (standin::State().fbEchoMessages && show != BpShowNone) {
    std::fprintf(stderr, "%s: %s\n", standin::LevelWord(level), message.fText.c_str());
  }
}

// A negative count of line ends counts as none.
void BP_ToFront(long lineFeeds, const BP_Character& text) {
  std::string output(lineFeeds > 0 ? static_cast<size_t>(lineFeeds) : 0, '\n');
  output += text.str();
  {
    std::lock_guard<std::mutex> lock(standin::State().fMutex);
    standin::State().fFront += output;
  }
  if (standin::State().fbEchoFront) {
    std::fwrite(output.data(), 1, output.size(), stdout);
    std::fflush(stdout);
  }
}
