// zelvane-lcd: the LCD host. Loads a plugin module, shows its
// descriptor, and renders screens whose macros the plugin fills in: once
// for scripts, or live in an LCD-like box refreshed every second.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cp1251.h"
#include "common/printable.h"
#include "common/read_file.h"
#include "common/stop_signal.h"
#include "common/text.h"
#include "zelvane-lcd/config_file.h"
#include "zelvane-lcd/error_log.h"
#include "zelvane-lcd/lcd.h"
#include "zelvane-lcd/lcdproc.h"
#include "zelvane-lcd/loader/plugin_loader.h"
#include "zelvane-lcd/program_path.h"
#include "zelvane-lcd/screen.h"
#include "zelvane-lcd/terminal.h"

namespace zv::host {
namespace {

using loader::CallResult;
using loader::PluginModule;

const std::vector<std::string> kDefaultScreen = {
    "$zvCheck$Zelvane 4",
    "T0 $zvTemp[0]$C F1 $zvFan[1]$",
    "V2 $zvVolt[2]$V T1 $zvTemp[1]$C",
    "F0 $zvFan[0]$ V0 $zvVolt[0]$V",
};

struct Options {
  std::string command;
  std::string plugin;
  std::vector<ScreenSpec> screens;
  std::string config_path;  // --config
  bool init = true;
  long rows = 4;
  long columns = 20;
  long count = 0;  // frames of the live screen; 0 means until Ctrl-C
  long interval_ms = 1000;
  bool rows_given = false;
  bool columns_given = false;
  bool server_given = false;
  bool charset_given = false;
  bool interval_given = false;
  LcdprocOptions lcdproc;
};

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: zelvane-lcd COMMAND PLUGIN [options] [LINE...]\n"
      "       zelvane-lcd COMMAND --config FILE [options] [LINE...]\n"
      "Loads the plugin module PLUGIN (e.g. build/linux/src/zelvane_info.so); with\n"
      "--config or --plugin the module is --plugin, else the file's plugin key, else\n"
      "the one installed with this program.\n"
      "Commands:\n"
      "  describe   print the plugin's descriptor\n"
      "  once       call Init, render the screen once and print its lines\n"
      "  live       call Init, then redraw the screen in a box every second\n"
      "  config     call Init, then Config, and print Config's result\n"
      "  lcdproc    call Init, then show the screen on LCDd (LCDproc's server)\n"
      "The screen is the LINE arguments, or the lines of --screen-file, or the\n"
      "screens of --config, or a default screen showing a few readings under a\n"
      "$zvCheck$ condition.\n"
      "Options:\n"
      "  --config FILE     screens and settings from FILE (INI; see the manual);\n"
      "                    the command line's options override the file's\n"
      "  --plugin PATH     the plugin module\n"
      "  --screen-file F   read screen lines from F\n"
      "  --no-init         do not call Init first\n"
      "  --rows N          rows of the live box (default 4)\n"
      "  --cols N          columns of the live box (default 20)\n"
      "  --count N         stop the live screen after N frames\n"
      "  --interval-ms MS  live refresh period (default 1000)\n"
      "lcdproc: the screen is LCDd's display size (--rows, --cols make it smaller)\n"
      "  --server HOST:PORT  LCDd's address (default 127.0.0.1:13666)\n"
      "  --charset C       what the display takes: cp1251 (default), ascii, utf-8\n",
      out);
}

// Reads the lines of --screen-file; false (said on standard error) when it
// cannot be read or a line holds a NUL byte, where a macro's text would end.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  constexpr std::size_t kMaxScreenFile = 1U << 20U;
  std::string error;
  const auto text = common::ReadRegularFile(path, kMaxScreenFile, error);
  if (!text) {
    std::fprintf(stderr, "zelvane-lcd: cannot read %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  std::size_t number = 1;
  for (std::size_t start = 0; start < text->size(); ++number) {
    const std::size_t end = std::min(text->find('\n', start), text->size());
    std::string line = text->substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.find('\0') != std::string::npos) {
      std::fprintf(stderr, "zelvane-lcd: %s:%zu: the line holds a NUL byte\n", path.c_str(),
                   number);
      return false;
    }
    lines.push_back(std::move(line));
  }
  return true;
}

// The command line as it is read: the options, the arguments that are not
// options, the lines of --screen-file and the module of --plugin.
struct CommandLine {
  Options options;
  std::vector<std::string> positional;
  std::vector<std::string> file_lines;
  std::string plugin_option;
};

// Takes option `arg` with its value; false (said on standard error) when
// the option is unknown or refuses the value.
bool TakeOption(CommandLine& line, const std::string& arg, const std::string& value) {
  Options& options = line.options;
  bool ok = true;
  if (arg == "--screen-file") {
    return ReadLines(value, line.file_lines);
  }
  if (arg == "--config") {
    options.config_path = value;
  } else if (arg == "--plugin") {
    line.plugin_option = value;
    ok = !value.empty();
  } else if (arg == "--rows") {
    ok = common::ParseDecimal(value, 1, 100, options.rows);
    options.rows_given = true;
  } else if (arg == "--cols") {
    ok = common::ParseDecimal(value, 1, 400, options.columns);
    options.columns_given = true;
  } else if (arg == "--server") {
    ok = ParseServerAddress(value, options.lcdproc);
    options.server_given = true;
  } else if (arg == "--charset") {
    const auto charset = ParseDisplayCharset(value);
    ok = charset.has_value();
    options.charset_given = true;
    options.lcdproc.charset = charset.value_or(DisplayCharset::Cp1251);
  } else if (arg == "--count") {
    ok = common::ParseDecimal(value, 1, 1000000000, options.count);
  } else if (arg == "--interval-ms") {
    ok = common::ParseDecimal(value, 1, 3600000, options.interval_ms);
    options.interval_given = true;
  } else {
    std::fprintf(stderr, "zelvane-lcd: unknown option %s\n", arg.c_str());
    return false;
  }
  if (!ok) {
    std::fprintf(stderr, "zelvane-lcd: bad value for %s: %s\n", arg.c_str(), value.c_str());
  }
  return ok;
}

// The command, the module and the screen's lines from what is not an
// option; nullopt when an argument is missing.
std::optional<Options> AssembleOptions(CommandLine line) {
  Options& options = line.options;
  const std::vector<std::string>& positional = line.positional;
  // PLUGIN is the first argument after the command unless --config or
  // --plugin says where the module is.
  const bool plugin_argument = options.config_path.empty() && line.plugin_option.empty();
  if (positional.size() < (plugin_argument ? 2U : 1U)) {
    return std::nullopt;
  }
  options.command = positional[0];
  options.plugin = plugin_argument ? positional[1] : line.plugin_option;
  std::vector<std::string> lines = std::move(line.file_lines);
  lines.insert(lines.end(), positional.begin() + (plugin_argument ? 2 : 1), positional.end());
  if (!lines.empty()) {
    options.screens.push_back({"", std::move(lines), {}});
  }
  return std::move(options);
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  CommandLine line;
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      std::exit(0);  // NOLINT(concurrency-mt-unsafe)
    }
    if (arg == "--no-init") {
      line.options.init = false;
      continue;
    }
    if (arg == "--") {
      line.positional.insert(line.positional.end(), args.begin() + static_cast<long>(i) + 1,
                             args.end());
      break;
    }
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      line.positional.push_back(arg);
      continue;
    }
    if (i + 1 >= args.size()) {
      std::fprintf(stderr, "zelvane-lcd: %s: missing value\n", arg.c_str());
      return std::nullopt;
    }
    if (!TakeOption(line, arg, args[++i])) {
      return std::nullopt;
    }
  }
  return AssembleOptions(std::move(line));
}

// The plugin module installed with this program: the Linux package's and
// tarball's lib/zelvane_info/ beside bin/, the Windows zip's DLL beside the
// program.
std::string InstalledPlugin() { return ProgramFolder() + ZV_INSTALLED_PLUGIN; }

// Completes the options from the configuration file, whose settings count
// where the command line gives none, then from the defaults. False (said on
// standard error) when the file cannot be read or has a fault: nothing
// starts then.
bool CompleteOptions(Options& options) {
  if (!options.config_path.empty()) {
    std::string error;
    const auto config = LoadHostConfig(options.config_path, error);
    if (!config) {
      std::fprintf(stderr, "zelvane-lcd: %s\n", error.c_str());
      return false;
    }
    if (config->server && !options.server_given) {
      ParseServerAddress(*config->server, options.lcdproc);
    }
    if (config->charset && !options.charset_given) {
      options.lcdproc.charset = *config->charset;
    }
    if (config->interval_ms && !options.interval_given) {
      options.interval_ms = *config->interval_ms;
    }
    if (config->plugin && options.plugin.empty()) {
      options.plugin = *config->plugin;
    }
    if (options.screens.empty()) {
      options.screens = config->screens;
    }
  }
  if (options.plugin.empty()) {
    options.plugin = InstalledPlugin();
  }
  if (options.screens.empty()) {
    options.screens.push_back({"", kDefaultScreen, {}});
  }
  return true;
}

std::string Text(const char* text) {
  return common::Cp1251ToUtf8(text != nullptr ? text : "(null)");
}

// Prints a multi-line text (lines end with CR, LF or both) indented under a label.
void PrintField(const char* label, const char* text) {
  std::string shown = Text(text);
  std::string out;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == '\r' || shown[i] == '\n') {
      out += "\n             ";
      if (shown[i] == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n') {
        ++i;
      }
    } else {
      out += shown[i];
    }
  }
  std::printf("%-12s %s\n", label, out.c_str());
}

int Describe(const PluginModule& module) {
  const PluginInfo& info = module.info();
  PrintField("Title:", info.Title);
  PrintField("About:", info.About);
  std::printf("%-12s %d (0x%X)\n", "InfoCode:", info.InfoCode,
              static_cast<unsigned>(info.InfoCode));
  PrintField("ShortName:", info.ShortName);
  for (int i = 0; i < ZV_TABLE_ENTRIES; ++i) {
    if (info.Headings[i] != nullptr && info.Headings[i][0] != '\0') {
      PrintField(("Heading " + std::to_string(i) + ":").c_str(), info.Headings[i]);
    }
  }
  std::printf("Macros:\n  %-5s %-5s %-10s %-13s %s\n", "entry", "code", "macro", "example",
              "description");
  for (int i = 0; i < ZV_TABLE_ENTRIES; ++i) {
    const bool used = (info.Macros[i] != nullptr && info.Macros[i][0] != '\0') ||
                      (info.Examples[i] != nullptr && info.Examples[i][0] != '\0') ||
                      (info.Descriptions[i] != nullptr && info.Descriptions[i][0] != '\0');
    if (used) {
      std::printf("  %-5d %-5d %-10s %-13s %s\n", i, i - 1, Text(info.Macros[i]).c_str(),
                  Text(info.Examples[i]).c_str(), Text(info.Descriptions[i]).c_str());
    }
  }
  std::printf("Entry points: GetValue %s, Init %s, Config %s\n",
              info.GetValue != nullptr ? "yes" : "MISSING",
              info.Init != nullptr ? "yes" : "MISSING", info.Config != nullptr ? "yes" : "MISSING");
  return 0;
}

// Calls Init and returns a line describing its outcome.
std::string CallInit(const PluginModule& module) {
  const CallResult result = module.Init();
  return result.failed ? "Init failed: " + common::Cp1251ToUtf8(result.text)
                       : "Init returned " + result.text;
}

// Expands screen number `index` and reports its plugin errors as they
// change (`log`).
RenderedScreen Render(const PluginModule& module, const std::vector<Macro>& macros,
                      const std::vector<ScreenSpec>& screens, std::size_t index, ErrorLog& log) {
  RenderedScreen screen =
      RenderScreen(screens[index].lines, macros, [&](std::int32_t code, const char* param) {
        const CallResult result = module.GetValue(code, param);
        return MacroValue{result.failed, common::Cp1251ToUtf8(result.text)};
      });
  std::fflush(stdout);
  // A report quotes the screen's text as written, which may hold control
  // characters (a configuration file's line may): they are escaped.
  for (const std::string& report : log.Update(index, screens[index].name, screen)) {
    std::fprintf(stderr, "zelvane-lcd: %s\n", common::Printable(report).c_str());
  }
  return screen;
}

int Once(const PluginModule& module, const Options& options) {
  if (options.init) {
    std::fprintf(stderr, "zelvane-lcd: %s\n", CallInit(module).c_str());
  }
  const std::vector<Macro> macros = MacrosOf(module.info());
  ErrorLog log;
  for (std::size_t i = 0; i < options.screens.size(); ++i) {
    if (!options.screens[i].name.empty()) {
      std::printf("[screen %s]\n", options.screens[i].name.c_str());
    }
    const RenderedScreen screen = Render(module, macros, options.screens, i, log);
    if (screen.skipped) {
      std::puts("(screen skipped)");
    }
    for (const std::string& line : screen.lines) {
      std::puts(line.c_str());
    }
  }
  return 0;
}

int Live(const PluginModule& module, const Options& options, bool interactive) {
  common::InstallStopHandlers();
  const std::string init = options.init ? CallInit(module) : "Init not called";
  const std::vector<Macro> macros = MacrosOf(module.info());
  ErrorLog log;
  if (interactive) {
    std::fputs("\x1b[?25l", stdout);  // hide the cursor while drawing
  }
  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::milliseconds(options.interval_ms);
  auto next = Clock::now();
  for (long frame = 1; !common::StopRequested(); ++frame) {
    if (interactive) {
      std::fputs("\x1b[H\x1b[2J", stdout);  // home and clear: stderr lines vanish too
    }
    // Every screen at once, one box under the other.
    for (std::size_t i = 0; i < options.screens.size(); ++i) {
      if (!options.screens[i].name.empty()) {
        std::printf("[screen %s]\n", options.screens[i].name.c_str());
      }
      const RenderedScreen screen = Render(module, macros, options.screens, i, log);
      for (const std::string& row : DrawLcd(screen, static_cast<std::size_t>(options.rows),
                                            static_cast<std::size_t>(options.columns))) {
        std::puts(row.c_str());
      }
    }
    std::printf("frame %ld  %s  %s\n", frame, init.c_str(),
                options.count > 0 ? "" : "Ctrl-C stops");
    std::fflush(stdout);
    if (options.count > 0 && frame >= options.count) {
      break;
    }
    next = std::max(next + period, Clock::now());
    common::SleepUnlessStopped(
        std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()));
  }
  if (interactive) {
    std::fputs("\x1b[?25h", stdout);
  }
  return 0;
}

// Shows the screen on LCDd until Ctrl-C, SIGTERM or --count frames.
int Lcdproc(const PluginModule& module, Options options) {
  if (options.init) {
    std::fprintf(stderr, "zelvane-lcd: %s\n", CallInit(module).c_str());
  }
  const std::vector<Macro> macros = MacrosOf(module.info());
  options.lcdproc.count = options.count;
  options.lcdproc.interval_ms = options.interval_ms;
  options.lcdproc.max_rows = options.rows_given ? options.rows : 0;
  options.lcdproc.max_columns = options.columns_given ? options.columns : 0;
  ErrorLog log;
  return RunLcdproc(options.lcdproc, options.screens, [&](std::size_t index) {
    return Render(module, macros, options.screens, index, log);
  });
}

int Config(const PluginModule& module, const Options& options) {
  if (options.init) {
    std::fprintf(stderr, "zelvane-lcd: %s\n", CallInit(module).c_str());
  }
  const CallResult result = module.Config();
  if (result.failed) {
    std::printf("Config failed: %s\n", common::Cp1251ToUtf8(result.text).c_str());
    return 1;
  }
  std::printf("Config returned %s\n", result.text.c_str());
  return 0;
}

}  // namespace
}  // namespace zv::host

int main(int argc, char** argv) {
  using namespace zv::host;
  auto options = ParseOptions(argc, argv);
  if (!options ||
      (options->command != "describe" && options->command != "once" && options->command != "live" &&
       options->command != "config" && options->command != "lcdproc")) {
    PrintUsage(stderr);
    return 2;
  }
  if (!CompleteOptions(*options)) {
    return 2;
  }
  // Every command prints UTF-8; only the live screen uses cursor controls.
  const bool interactive = PrepareTerminal();
  std::string error;
  const auto module = PluginModule::Load(options->plugin, error);
  if (!module) {
    std::fprintf(stderr, "zelvane-lcd: cannot load %s: %s\n", options->plugin.c_str(),
                 error.c_str());
    return 1;
  }
  if (options->command == "describe") {
    return Describe(*module);
  }
  if (options->command == "once") {
    return Once(*module, *options);
  }
  if (options->command == "live") {
    return Live(*module, *options, interactive);
  }
  if (options->command == "lcdproc") {
    return Lcdproc(*module, *options);
  }
  return Config(*module, *options);
}
