#include "CommandRunner.h"

#include <vorm/ProcOutput.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <new>

#include "Describe.h"
#include "KvoError.h"
#include "PrepareRun.h"
#include "Progress.h"
#include "Report.h"
#include "Score.h"
#include "TextTable.h"
#include "standin/HostControl.h"

namespace kvo {
namespace {

// Distinct host messages shown at most; the rest are counted.
constexpr size_t MESSAGES_SHOWN = 20;

const char* LevelWord(int level) {
  switch (level) {
    case 1:
      return "note";
    case 2:
      return "warning";
    default:
      return "error";
  }
}

// Writes the host's messages once each (with a count when repeated) and
// clears them. After a run that succeeded, what the host called an error
// (a case without a matrix specification, say) did not stop it: it is shown
// as a warning.
void ReportHostMessages(const std::string& prefix, std::ostream& err, bool succeeded) {
  std::vector<std::pair<std::string, int>> order;
  std::map<std::string, size_t> seen;
  std::vector<int> counts;
  for (const standin::HostMessage& message : standin::Messages()) {
    const int level = succeeded && message.fLevel == BpLevelError ? BpLevelWarning : message.fLevel;
    std::string line = std::string(LevelWord(level)) + ": " + message.fText;
    auto [it, inserted] = seen.emplace(line, order.size());
    if (inserted) {
      order.emplace_back(line, level);
      counts.push_back(0);
    }
    ++counts[it->second];
  }
  for (size_t i = 0; i < order.size() && i < MESSAGES_SHOWN; ++i) {
    err << prefix << order[i].first;
    if (counts[i] > 1) err << " (" << counts[i] << " times)";
    err << "\n";
  }
  if (order.size() > MESSAGES_SHOWN) {
    err << prefix << "note: " << order.size() - MESSAGES_SHOWN << " more messages not shown\n";
  }
  standin::ClearMessages();
}

std::string CommandName(const ParsedCommand& command) {
  switch (command.fKind) {
    case ParsedCommand::kDescribe:
      return "kvo describe";
    case ParsedCommand::kPrepare:
      return "kvo prepare";
    case ParsedCommand::kScore:
      return "kvo score";
    case ParsedCommand::kReport:
      return "kvo report";
    default:
      return "kvo";
  }
}

int Execute(const ParsedCommand& command, std::ostream& out) {
  switch (command.fKind) {
    case ParsedCommand::kDescribe:
      out << RunDescribe(command.fDescribe);
      return EXIT_OK;
    case ParsedCommand::kPrepare: {
      const PrepareOptions& options = command.fPrepare;
      Progress progress(Progress::Wanted(options.fbQuiet));
      Summary summary = PrepareRun(options, progress).Run();
      progress.Finish();
      if (options.fbJson) {
        out << SummaryToJson(summary).dump(2) << "\n";
      } else {
        out << SummaryToText(summary);
      }
      return EXIT_OK;
    }
    case ParsedCommand::kScore: {
      Progress progress(Progress::Wanted(command.fScore.fbQuiet));
      RunScore(command.fScore, progress, out);
      return EXIT_OK;
    }
    case ParsedCommand::kReport: {
      const Summary summary = ReadSummaryFile(command.fReport.fSummaryPath);
      ReportFile file(command.fReport.fReportPath);
      file.Write(SummaryToHtml(summary));
      file.Commit();
      return EXIT_OK;
    }
    case ParsedCommand::kHelp:
      out << command.fText;
      return command.fExitCode;
    case ParsedCommand::kError:
      break;
  }
  throw KvoError(static_cast<ExitCode>(command.fExitCode), command.fText);
}

}  // namespace

int RunCommand(const ParsedCommand& command, std::ostream& out, std::ostream& err) {
  if (command.fKind == ParsedCommand::kError) {
    err << command.fText << "\n";
    return command.fExitCode;
  }
  const std::string prefix = CommandName(command) + ": ";
  standin::SetEchoMessages(false);
  standin::ClearMessages();
  int code = EXIT_OK;
  std::string failure;
  try {
    code = Execute(command, out);
  } catch (const KvoError& error) {
    code = error.Code();
    failure = error.what();
  } catch (const standin::HostInterrupt& interrupt) {
    if (interrupt.fTimeOut) {
      code = EXIT_TIME_OUT;
      failure =
          "stopped: the time limit of " + ShortestText(command.fPrepare.fTimeLimit) + " seconds was reached";
    } else {
      code = EXIT_INTERRUPTED;
      failure = "interrupted";
    }
  } catch (const std::bad_alloc&) {
    code = EXIT_BAD_INPUT;
    failure = "out of memory";
  } catch (const std::exception& error) {
    code = EXIT_BAD_INPUT;
    failure = error.what();
  }
  // What a command printed counts only if it reached standard output.
  out.flush();
  if (!out && failure.empty()) {
    code = EXIT_BAD_INPUT;
    failure = std::string("cannot write to standard output: ") + std::strerror(errno != 0 ? errno : EIO);
  }
  ReportHostMessages(prefix, err, failure.empty());
  if (!failure.empty()) err << prefix << failure << "\n";
  return code;
}

}  // namespace kvo
