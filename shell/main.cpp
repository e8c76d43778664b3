// The durandex program: the command line as one text, checked before any
// window opens, then the run.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "records/exit_status.h"
#include "records/run_settings.h"
#include "shell/command_line.h"
#include "shell/commands.h"
#include "shell/long_options.h"
#include "shell/program.h"
#include "shell/result_files.h"
#include "shell/run_lines.h"
#include "platform/drive_choice.h"
#include "platform/program_instance.h"
#include "platform/settings.h"
#include "platform/settings_check.h"

namespace {

constexpr const char* usage_text =
    "Usage: durandex [MINUTES] [/a | /c] [/t:MINUTES]\n"
    "       durandex ... [--json=FILE] [--metrics=FILE]\n"
    "Loads drives with file copies and verifies every copy byte for byte.\n"
    "\n"
    "  MINUTES       end the run after that many minutes of unpaused run time\n"
    "  /a            make a ring of tasks over every fixed drive and start at once\n"
    "  /c            copy the first CD-ROM drive to the fixed drive before it, at once\n"
    "  /t:MINUTES    quit that many minutes after start-up, run or not\n"
    "  --json=FILE   write the run's result as JSON to FILE, every minute and at the end\n"
    "  --metrics=FILE  write Prometheus textfile metrics to FILE, every minute and at the end\n"
    "  --help        show this text\n"
    "  --version     show the version\n"
    "\n"
    "Switches may also begin with '-'. The exit status is the run's error count\n"
    "(at most 254); 255 means an invalid command line or setting. Drives are mapped\n"
    "with DURANDEX_DRIVES=\"C=/dir;D=/dir\", which /a and /c need; see durandex(1).\n";

// The arguments, joined by single blanks.
std::string joined_arguments(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const std::string& argument : arguments) {
        if (!text.empty()) {
            text += ' ';
        }
        text += argument;
    }
    return text;
}

BOOL asks_for(int argc, char** argv, const char* option)
{
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], option) == 0) {
            return TRUE;
        }
    }
    return FALSE;
}

BOOL command_line_is_valid(const std::string& text)
{
    if (text.size() > command_line_max_length) {
        std::fprintf(stderr, "durandex: the command line is longer than %zu characters.\n",
                     command_line_max_length);
        return FALSE;
    }
    if (parse_command_line(text.c_str()).option_invalid != 0) {
        std::fprintf(stderr, "durandex: invalid command line \"%s\"; see durandex --help.\n", text.c_str());
        return FALSE;
    }
    return TRUE;
}

// Every setting, and for /a and /c a drive map of the operator's: without
// one they would run over every mounted filesystem, other users' included.
BOOL settings_are_usable(const std::string& command_line)
{
    const std::vector<std::string> problems = settings_problems();
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "durandex: %s\n", problem.c_str());
    }
    const CommandLine parsed = parse_command_line(command_line.c_str());
    if ((parsed.option_a != 0 || parsed.option_c != 0) && !drives_named_by_operator()) {
        std::fprintf(stderr, "durandex: /a and /c start without anyone choosing drives, so they need %s "
                             "to name the drives (for example C=/srv/stress;D=/mnt/disk).\n",
                     setting_variable(Setting::Drives));
        return FALSE;
    }
    return problems.empty();
}

}  // namespace

int main(int argc, char** argv)
{
    if (asks_for(argc, argv, "--help")) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (asks_for(argc, argv, "--version")) {
        std::printf("durandex %s\n", durandex_version);
        return 0;
    }
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const LongOptions long_options = take_long_options(&arguments);
    if (!long_options.invalid.empty()) {
        std::fprintf(stderr, "durandex: \"%s\" names no file; see durandex --help.\n", long_options.invalid.c_str());
        return exit_invalid_command_line;
    }
    set_result_files(long_options.json_path, long_options.metrics_path);
    static const std::string command_line = joined_arguments(arguments);
    if (!command_line_is_valid(command_line)) {
        return exit_invalid_command_line;
    }
    if (!settings_are_usable(command_line)) {
        return exit_configuration_error;
    }
    const int status = run_program(program_instance(), command_line.c_str(), SW_SHOWNORMAL);
    if (!run_refused()) {
        report_program_end(status);
    }
    return status;
}
