// SPDX-License-Identifier: GPL-3.0-or-later
// oru: the archiver's command-line tool. Parses the command line, runs one command and turns
// its outcome into the exit status: 0 success, 1 failure (message on standard error), 2 usage,
// 128 + the signal when SIGINT (130) or SIGTERM (143) stopped it.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/ConsoleProgress.h"
#include "platform/Error.h"
#include "platform/Messages.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Runs the command with its operands; returns the exit status.
int run(const oru::cli::Invocation& invocation) {
    using namespace oru::cli;
    const std::string name = invocation.command->name;
    const std::vector<std::string>& a = invocation.operands;
    const Options& options = invocation.options;
    const std::vector<std::string> rest(a.begin() + 1, a.end());
    if (name == "new") {
        cmdNew(a[0]);
    } else if (name == "add") {
        cmdAdd(a[0], rest, options);
    } else if (name == "list") {
        cmdList(a[0], options);
    } else if (name == "extract") {
        cmdExtract(a[0], a[1], std::vector<std::string>(a.begin() + 2, a.end()), options);
    } else if (name == "cat") {
        cmdCat(a[0], a[1]);
    } else if (name == "delete") {
        cmdDelete(a[0], rest, options);
    } else if (name == "compact") {
        cmdCompact(a[0], options);
    } else if (name == "test") {
        cmdTest(a[0], options);
    } else if (name == "info") {
        cmdInfo(a[0]);
    } else if (name == "recover") {
        cmdRecover(a[0], a[1], options);
    }
    return kExitOk;
}

int main2(int argc, char** argv) {
    const oru::cli::Invocation invocation = oru::cli::parseCommandLine(argc, argv);
    if (invocation.version) {
        std::printf("oru %s\n", ORU_VERSION);
    } else if (invocation.help) {
        const std::string text = invocation.command ? oru::cli::commandHelpText(*invocation.command)
                                                    : oru::cli::helpText();
        std::fputs(text.c_str(), stdout);
    } else {
        return run(invocation);
    }
    return kExitOk;
}

// The status of a command that a signal stopped: the work ended where a cancel leaves it.
int interrupted(int signal) {
    std::fflush(stdout);
    std::fprintf(stderr, "oru: %s\n", (signal == SIGTERM ? oru::tr("terminated") : oru::tr("interrupted")).c_str());
    return 128 + signal;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const int status = main2(argc, argv);
        // A signal that came too late to stop anything still says the run was interrupted.
        if (const int signal = oru::ConsoleProgress::caughtSignal()) return interrupted(signal);
        return status;
    } catch (const oru::cli::UsageError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "oru: %s\n%s", e.text().c_str(), oru::cli::usageText().c_str());
        return kExitUsage;
    } catch (const oru::Error& e) {
        // A cancel (also one passed on with its archive named) that a signal asked for ends with
        // the signal's status.
        if (e.kind() == oru::ErrorKind::Cancelled) {
            if (const int signal = oru::ConsoleProgress::caughtSignal()) return interrupted(signal);
        }
        std::fflush(stdout);
        std::fprintf(stderr, "oru: %s\n", oru::displayText(e.what()).c_str());
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "oru: %s\n", oru::tr("out of memory.").c_str());
        return kExitFailed;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "oru: %s\n", oru::displayText(e.what()).c_str());
        return kExitFailed;
    }
}
