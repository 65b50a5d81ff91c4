// dravik-cli's help and version texts.
#include "cli_help.h"

#include <map>

#include "cli_options.h"
#include "product.h"

namespace clihelp {

namespace {

const char* const kProgramHelp =
    "usage: dravik-cli COMMAND [OPTIONS]\n"
    "\n"
    "Dravik's headless recorder and player.\n"
    "\n"
    "commands:\n"
    "  record    record from the input device into a WAV, MP3 or WMA file\n"
    "  play      play a file on the output device\n"
    "  info      show the format and length of a file\n"
    "  monitor   show the input levels without recording\n"
    "  devices   list the input and output devices and the mixers\n"
    "  recover   list, save or discard takes that interrupted recordings left\n"
    "  help      show the help of a command: dravik-cli help record\n"
    "\n"
    "  -h, --help     show this help (COMMAND --help shows the command's)\n"
    "  --version      show the version\n"
    "\n"
    "exit status: 0 done, 1 the command failed, 2 the command line is wrong.\n"
    "\n"
    "environment: DRAVIK_AUDIO=virtual[:in=tone|silence|noise|bursts|FILE.wav,out=null|FILE.wav,\n"
    "pace=realtime|fast,fail=SECONDS] records and plays on a virtual sound card instead of ALSA.\n"
    "Settings: ~/.config/Brevon/Dravik.ini. See dravik-cli(1).\n";

const std::map<std::string, const char*> kCommandHelp = {
    {"record",
     "usage: dravik-cli record [--seconds N] [--encode wav|mp3|wma|flac|opus] [--format ROW]\n"
     "                         [--vox on|off] [--vox-level PERCENT] [--tolerance SECONDS]\n"
     "                         [--auto-save none|time|serial] [--prefix TEXT]\n"
     "                         [--temp-folder DIR] [--save-folder DIR] [--split SECONDS]\n"
     "                         [--out PATH] [--pre-roll SECONDS] [--at TIME]\n"
     "\n"
     "Records until Ctrl+C, a terminate or hang-up signal, an automatic stop, or N seconds of\n"
     "written sound, then prints one line per file written: saved: PATH (S.SS s).\n"
     "Each of these ends the recording the same way: the file is completed and playable.\n"
     "\n"
     "  --seconds N          stop after N seconds of written sound\n"
     "  --encode FORMAT      wav, mp3, wma, flac or opus\n"
     "  --format ROW         a row of the encoding's format table (WAV 0-23, MP3 0-33, WMA 0-28,\n"
     "                       FLAC 0-7, Opus 0-17)\n"
     "  --vox on|off         voice operation: write only while there is sound\n"
     "  --vox-level PERCENT  the level that counts as sound (0-100)\n"
     "  --tolerance SECONDS  how long the sound may pause before voice operation stops writing\n"
     "  --auto-save MODE     none, time (time-stamped names) or serial (numbered names)\n"
     "  --prefix TEXT        the start of automatically saved names\n"
     "  --temp-folder DIR    where the take is recorded (created when missing)\n"
     "  --save-folder DIR    where automatic saving puts the files (created when missing)\n"
     "  --split SECONDS      start a new file every SECONDS of sound (needs --auto-save)\n"
     "  --out PATH           without automatic saving, move the take here; an existing name\n"
     "                       is never overwritten, \" (2)\", \" (3)\" ... are added instead\n"
     "  --pre-roll SECONDS   sound kept ahead of each stretch voice operation writes (0-2)\n"
     "  --at TIME            wait, showing the levels, and start at \"YYYY-MM-DD HH:MM[:SS]\"\n"
     "                       or at HH:MM[:SS] (today, or tomorrow once that has passed);\n"
     "                       Ctrl+C while waiting ends without a file\n"
     "\n"
     "The options override the settings for this run only.\n"},
    {"play",
     "usage: dravik-cli play FILE [--from SECONDS]\n"
     "\n"
     "Plays a WAV, MP3, WMA or other media file on the output device until its end or Ctrl+C.\n"
     "\n"
     "  --from SECONDS  start this far into the file\n"},
    {"info", "usage: dravik-cli info FILE\n"
             "\n"
             "Shows a file's format, channels, rate, bits, duration and bit rate.\n"},
    {"monitor",
     "usage: dravik-cli monitor [--seconds N]\n"
     "\n"
     "Opens the input device and shows its levels without recording, until Ctrl+C or N seconds.\n"
     "\n"
     "  --seconds N  stop after N seconds\n"},
    {"devices", "usage: dravik-cli devices\n"
                "\n"
                "Lists the input devices, the output devices and the mixers, by number, and\n"
                "ALSA's default device with the sound server it goes through, if any.\n"},
    {"recover",
     "usage: dravik-cli recover [--save | --discard] [--temp-folder DIR] [--save-folder DIR]\n"
     "\n"
     "Lists the takes that interrupted recordings (a crash, a kill, a power cut, or a take kept\n"
     "at exit) left in the temporary folder: path, encoding, length, when recorded, and\n"
     "\"(repaired)\" where the header was mended to match the sound on disk. Takes a running\n"
     "recorder holds are left alone; empty leftovers are removed.\n"
     "\n"
     "  --save             move each take into the save folder under a time-stamped name\n"
     "                     (never overwriting): saved: PATH (S.SS s)\n"
     "  --discard          delete each take: discarded: PATH\n"
     "  --temp-folder DIR  the temporary folder to look in\n"
     "  --save-folder DIR  the save folder (created when missing)\n"},
    {"help", "usage: dravik-cli help [COMMAND]\n"
             "\n"
             "Shows the help of COMMAND, or of the program.\n"},
};

bool isHelpOption(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

HelpAnswer helpFor(const std::string& command)
{
    if (auto text = helpText(command))
        return {*text, kExitOk, false};
    return {"dravik-cli: no help for \"" + command + "\": there is no such command\n" +
                kProgramHelp,
            kExitUsage, true};
}

} // namespace

std::optional<std::string> helpText(const std::string& command)
{
    if (command.empty())
        return std::string(kProgramHelp);
    auto found = kCommandHelp.find(command);
    if (found == kCommandHelp.end())
        return std::nullopt;
    return std::string(found->second);
}

std::string versionText()
{
    return std::string("dravik-cli ") + product::kVersionText;
}

std::optional<HelpAnswer> answerHelp(const std::vector<std::string>& args)
{
    if (args.empty())
        return std::nullopt;
    const std::string& first = args[0];
    if (first == "--version")
        return HelpAnswer{versionText() + "\n", kExitOk, false};
    if (isHelpOption(first))
        return helpFor("");
    if (first == "help") {
        if (args.size() > 2)
            return HelpAnswer{"dravik-cli: help takes one COMMAND\n" + *helpText("help"),
                              kExitUsage, true};
        return helpFor(args.size() == 2 ? args[1] : "");
    }
    // "COMMAND ... --help": only where an option name stands, not as the value of one.
    for (size_t i = 1; i < args.size(); ++i) {
        if (isHelpOption(args[i]))
            return helpFor(first);
        if (args[i].rfind("--", 0) == 0 && !isFlagOption(args[i]))
            ++i;
    }
    return std::nullopt;
}

} // namespace clihelp
