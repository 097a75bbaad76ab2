#include "app/command_docs.h"

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/failure.h"
#include "app/settings.h"

namespace nsoapp {
namespace {

/// A command with the words that name it after "nso" ("config set"; "" for nso itself).
struct Command {
    std::string path;
    const CLI::App* app = nullptr;
};

void CollectCommands(const CLI::App& app, const std::string& path, std::vector<Command>& out) {
    out.push_back({path, &app});
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        CollectCommands(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), out);
    }
}

std::vector<Command> AllCommands(const CLI::App& app) {
    std::vector<Command> commands;
    CollectCommands(app, "", commands);
    return commands;
}

std::vector<const CLI::Option*> NamedOptions(const CLI::App& app) {
    return app.get_options([](const CLI::Option* o) { return o->nonpositional(); });
}

std::vector<const CLI::Option*> Positionals(const CLI::App& app) {
    return app.get_options([](const CLI::Option* o) { return !o->nonpositional(); });
}

/// Flags take no value; every other named option takes one.
bool TakesValue(const CLI::Option& option) {
    return option.get_expected_max() > 0;
}

/// The value's name as the option declares it ("FILE"), without its checks.
std::string ValueName(const CLI::Option& option) {
    const std::string full = option.get_type_name();
    return full.substr(0, full.find(':'));
}

/// The values an option accepts when a check lists them ("{all,import}"), else none.
std::vector<std::string> Choices(const CLI::Option& option) {
    const std::string full = option.get_type_name();
    const std::size_t open = full.find('{');
    const std::size_t close = full.find('}', open);
    std::vector<std::string> choices;
    if (open == std::string::npos || close == std::string::npos) {
        return choices;
    }
    std::istringstream list(full.substr(open + 1, close - open - 1));
    for (std::string choice; std::getline(list, choice, ',');) {
        choices.push_back(choice);
    }
    return choices;
}

std::vector<std::string> OptionNames(const CLI::Option& option) {
    std::vector<std::string> names;
    for (const std::string& name : option.get_snames()) {
        names.push_back("-" + name);
    }
    for (const std::string& name : option.get_lnames()) {
        names.push_back("--" + name);
    }
    return names;
}

std::string Join(const std::vector<std::string>& words, const std::string& between) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : between) + word;
    }
    return text;
}

// ---- roff -------------------------------------------------------------------------------------

/// Text as roff prints it literally: backslashes and hyphens escaped, a leading dot or quote
/// kept from being read as a request.
std::string Roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

/// A cell of the README's table in roff: `code` in bold, links as their text, "\|" as "|".
std::string RoffOfMarkdown(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '[') {
            const std::size_t close = text.find("](", i);
            const std::size_t end = close == std::string::npos ? close : text.find(')', close);
            if (end != std::string::npos) {
                plain += text.substr(i + 1, close - i - 1);
                i = end;
                continue;
            }
        }
        plain += text[i];
    }
    std::string out;
    bool bold = false;
    std::size_t start = 0;
    for (std::size_t tick = plain.find('`'); tick != std::string::npos;
         tick = plain.find('`', start)) {
        out += Roff(plain.substr(start, tick - start)) + (bold ? "\\fR" : "\\fB");
        bold = !bold;
        start = tick + 1;
    }
    out += Roff(plain.substr(start));
    return bold ? out + "\\fR" : out;
}

/// A row of the README's command table: the command as written and what it does.
struct TableRow {
    std::string command;
    std::string text;
};

std::vector<std::string> TableCells(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
            cell += '|';
            ++i;
        } else if (line[i] == '|') {
            cells.push_back(cell);
            cell.clear();
        } else {
            cell += line[i];
        }
    }
    for (std::string& c : cells) {
        c.erase(0, c.find_first_not_of(' '));
        c.erase(c.find_last_not_of(' ') + 1);
    }
    return cells;
}

std::vector<TableRow> CommandTable(const std::string& readme) {
    std::istringstream in(readme);
    std::vector<TableRow> rows;
    bool inTable = false;
    for (std::string line; std::getline(in, line);) {
        if (!inTable) {
            inTable = line.rfind("| Command | What it does |", 0) == 0;
            continue;
        }
        if (line.empty() || line[0] != '|') {
            break;
        }
        const std::vector<std::string> cells = TableCells(line);
        if (cells.size() < 2 || cells[0].rfind("---", 0) == 0) {
            continue;
        }
        std::string command = cells[0];
        std::erase(command, '`');
        rows.push_back({command, cells[1]});
    }
    return rows;
}

/// The command a row of the table is about: its words after "nso" that name subcommands.
std::string PathOfRow(const CLI::App& root, const std::string& command) {
    std::istringstream words(command);
    std::string word;
    if (!(words >> word) || word != "nso") {
        return {};
    }
    const CLI::App* at = &root;
    std::string path;
    while (words >> word) {
        const auto found =
            at->get_subcommands([&word](const CLI::App* a) { return a->get_name() == word; });
        if (found.empty()) {
            break;
        }
        at = found.front();
        path += (path.empty() ? "" : " ") + word;
    }
    return path;
}

/// Whether a row of the table is about nso itself: "nso --version".
bool NamesGlobalOption(const std::string& command) {
    std::istringstream words(command);
    std::string word;
    return (words >> word) && word == "nso" && (words >> word) && word.rfind('-', 0) == 0;
}

std::string PositionalUsage(const CLI::Option& option) {
    std::string name = option.get_name(true);
    if (option.get_items_expected_max() > 1) {
        name += "...";
    }
    return option.get_required() ? name : "[" + name + "]";
}

std::string Usage(const Command& command) {
    std::string usage = "nso " + command.path;
    if (!NamedOptions(*command.app).empty()) {
        usage += " [OPTIONS]";
    }
    for (const CLI::Option* positional : Positionals(*command.app)) {
        usage += " " + PositionalUsage(*positional);
    }
    if (!command.app->get_subcommands([](const CLI::App*) { return true; }).empty()) {
        usage += " [COMMAND]";
    }
    return usage;
}

void WriteOptionItems(std::ostream& out, const CLI::App& app) {
    for (const CLI::Option* option : Positionals(app)) {
        out << ".TP\n\\fI" << Roff(option->get_name(true)) << "\\fR\n"
            << RoffOfMarkdown(option->get_description()) << "\n";
    }
    for (const CLI::Option* option : NamedOptions(app)) {
        std::vector<std::string> names;
        for (const std::string& name : OptionNames(*option)) {
            names.push_back("\\fB" + Roff(name) + "\\fR");
        }
        out << ".TP\n" << Join(names, ", ");
        if (TakesValue(*option)) {
            out << " \\fI" << Roff(ValueName(*option)) << "\\fR";
        }
        out << "\n" << RoffOfMarkdown(option->get_description()) << "\n";
    }
}

void WriteCommandSection(std::ostream& out, const Command& command,
                         const std::vector<TableRow>& rows, const CLI::App& root) {
    out << ".SS \"" << Roff(Usage(command)) << "\"\n"
        << RoffOfMarkdown(command.app->get_description()) << "\n";
    for (const TableRow& row : rows) {
        if (PathOfRow(root, row.command) == command.path) {
            out << ".TP\n\\fB" << Roff(row.command) << "\\fR\n" << RoffOfMarkdown(row.text) << "\n";
        }
    }
    if (!Positionals(*command.app).empty() || !NamedOptions(*command.app).empty()) {
        out << ".PP\n.RS\n";
        WriteOptionItems(out, *command.app);
        out << ".RE\n";
    }
    const std::string footer = command.app->get_footer();
    if (!footer.empty()) {
        out << ".PP\n.nf\n";
        std::istringstream lines(footer);
        for (std::string line; std::getline(lines, line);) {
            out << Roff(line) << "\n";
        }
        out << ".fi\n";
    }
}

void WriteManualEnd(std::ostream& out) {
    out << ".SH \"EXIT STATUS\"\n"
        << ".TP\n"
        << kExitOk << "\nThe command did what it was asked.\n"
        << ".TP\n"
        << kExitFailed << "\nThe command failed; the message says why and what to do.\n"
        << ".TP\n"
        << kExitUsage << "\nThe command line or the settings file cannot be used.\n"
        << ".TP\n"
        << kExitNotLoaded
        << "\nDocuments could not be loaded, or chains were passed over (\\fBfetch\\fR, "
           "\\fBprocess\\fR, \\fBrun\\fR); the others went on.\n"
        << ".TP\n"
        << kExitForClerk << "\n\\fBnso run\\fR went through, but orders are left for a clerk.\n";
    out << ".SH FILES\n"
        << "The settings file is the one \\fB\\-\\-settings\\fR names, else "
           "\\fB$NSO_SETTINGS\\fR, else the first of these that exists:\n"
        << ".TP\n\\fI./nso.toml\\fR\nin the current folder;\n"
        << ".TP\n\\fI~/.config/kvad_nso/nso.toml\\fR\nthe user's own (under "
           "\\fB$XDG_CONFIG_HOME\\fR when set);\n"
        << ".TP\n\\fI" << Roff(SystemSettingsFile()) << "\\fR\nthe machine's.\n"
        << ".PP\nRelative paths in a settings file start from its folder. "
           "\\fBnso settings\\fR shows the settings in force and the file they came from.\n";
    out << ".SH ENVIRONMENT\n"
        << ".TP\n\\fBNSO_SETTINGS\\fR\nthe settings file, when \\fB\\-\\-settings\\fR is not "
           "given.\n"
        << ".TP\n\\fBXDG_CONFIG_HOME\\fR, \\fBXDG_CACHE_HOME\\fR, \\fBHOME\\fR\nwhere the user's "
           "settings file and the cache folder (PDF previews) are.\n";
    out << ".SH \"SEE ALSO\"\n\\fBsystemctl\\fR(1): the units \\fBnso\\-run.timer\\fR and "
           "\\fBnso\\-serve.service\\fR run the main job and the web host. The README "
           "describes every command at length.\n";
}

// ---- bash -------------------------------------------------------------------------------------

/// The case pattern of an option given to the command `path`: a global option anywhere.
std::string OptionPattern(const std::string& path, const std::string& name) {
    return path.empty() ? "*\"|" + name + "\"" : "\"" + path + "|" + name + "\"";
}

/// What bash offers for the value of `option`.
std::string ValueCompletion(const CLI::Option& option) {
    const std::vector<std::string> choices = Choices(option);
    if (!choices.empty()) {
        return "_nso_reply -W \"" + Join(choices, " ") + "\"";
    }
    const std::string value = ValueName(option);
    if (value == "FILE") {
        return "_nso_reply -f";
    }
    if (value == "DIR") {
        return "_nso_reply -d";
    }
    return "COMPREPLY=()";
}

/// What may follow the command `path`: its subcommands and options, the global options.
std::string WordsOf(const Command& command, const CLI::App& root) {
    std::vector<std::string> words;
    for (const CLI::App* sub : command.app->get_subcommands([](const CLI::App*) { return true; })) {
        words.push_back(sub->get_name());
    }
    for (const CLI::Option* option : NamedOptions(*command.app)) {
        for (const std::string& name : OptionNames(*option)) {
            words.push_back(name);
        }
    }
    if (command.app != &root) {
        // The global options a command takes too: not --help and --version, nor a name the
        // command has an option of its own for.
        for (const CLI::Option* option : NamedOptions(root)) {
            if (option == root.get_help_ptr() || option == root.get_version_ptr()) {
                continue;
            }
            for (const std::string& name : option->get_lnames()) {
                if (std::find(words.begin(), words.end(), "--" + name) == words.end()) {
                    words.push_back("--" + name);
                }
            }
        }
    }
    return Join(words, " ");
}

bool TakesFileArgument(const CLI::App& app) {
    for (const CLI::Option* positional : Positionals(app)) {
        if (positional->get_name(true) == "FILE" || ValueName(*positional) == "FILE") {
            return true;
        }
    }
    return false;
}

} // namespace

void WriteManualPage(std::ostream& out, const CLI::App& app, const std::string& version,
                     const std::string& readme) {
    std::string summary = app.get_description();
    if (summary.rfind("nso: ", 0) == 0) {
        summary.erase(0, 5);
    }
    out << ".\\\" nso(1), written from nso's command-line definitions and the README's command "
           "table.\n"
        << ".TH NSO 1 \"\" \"kvad-nso " << Roff(version) << "\" \"User Commands\"\n"
        << ".SH NAME\nnso \\- " << Roff(summary) << "\n"
        << ".SH SYNOPSIS\n.B nso\n[\\fIGLOBAL OPTIONS\\fR] \\fICOMMAND\\fR [\\fIOPTIONS\\fR] "
           "[\\fIARGUMENTS\\fR]\n"
        << ".SH DESCRIPTION\n\\fBnso\\fR " << Roff(summary)
        << ". It keeps its settings in a TOML file (see \\fBFILES\\fR); every setting can be "
           "replaced by a global option. Without a command it prints its help and what to do "
           "next; \\fBnso\\fR \\fICOMMAND\\fR \\fB\\-\\-help\\fR prints a command's options.\n"
        << ".SH \"GLOBAL OPTIONS\"\nGiven before or after the command.\n";
    WriteOptionItems(out, app);
    out << ".SH COMMANDS\n";
    const std::vector<TableRow> rows = CommandTable(readme);
    for (const TableRow& row : rows) {
        if (PathOfRow(app, row.command).empty() && !NamesGlobalOption(row.command)) {
            throw std::runtime_error("the README's command table has a row for \"" + row.command +
                                     "\", which is no command of nso: rename or remove the row");
        }
    }
    for (const Command& command : AllCommands(app)) {
        if (command.app != &app) {
            WriteCommandSection(out, command, rows, app);
        }
    }
    WriteManualEnd(out);
}

void WriteBashCompletion(std::ostream& out, const CLI::App& app) {
    const std::vector<Command> commands = AllCommands(app);
    std::vector<std::string> commandPatterns;
    std::vector<std::string> valuePatterns;
    std::ostringstream valueCases;
    // A command's own options first: the global ones match after any command, and a command's
    // option of the same name as a global one comes before it.
    std::vector<Command> ownFirst(commands.begin() + 1, commands.end());
    ownFirst.push_back(commands.front());
    for (const Command& command : ownFirst) {
        for (const CLI::App* sub :
             command.app->get_subcommands([](const CLI::App*) { return true; })) {
            commandPatterns.push_back("\"" + command.path + "|" + sub->get_name() + "\"");
        }
        for (const CLI::Option* option : NamedOptions(*command.app)) {
            if (!TakesValue(*option)) {
                continue;
            }
            std::vector<std::string> patterns;
            for (const std::string& name : OptionNames(*option)) {
                patterns.push_back(OptionPattern(command.path, name));
            }
            valueCases << "        " << Join(patterns, " | ") << ")\n            "
                       << ValueCompletion(*option) << "\n            return\n            ;;\n";
            // Skipping a value needs no pattern of a command's own that a global one covers.
            for (const std::string& name : OptionNames(*option)) {
                if (command.app == &app || app.get_option_no_throw(name) == nullptr) {
                    valuePatterns.push_back(OptionPattern(command.path, name));
                }
            }
        }
    }

    out << "# bash completion for nso, written from its command-line definitions.\n\n"
        << "# Offers the words of compgen's arguments that start with the word being typed.\n"
        << "_nso_reply() {\n"
        << "    local cur=\"${COMP_WORDS[COMP_CWORD]}\"\n"
        << "    case \"$1\" in\n"
        << "    -f | -d) compopt -o filenames 2>/dev/null ;;\n"
        << "    esac\n"
        << "    mapfile -t COMPREPLY < <(compgen \"$@\" -- \"$cur\")\n"
        << "}\n\n"
        << "_nso() {\n"
        << "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"\" path=\"\" word i\n"
        << "    if [ \"$COMP_CWORD\" -gt 0 ]; then\n"
        << "        prev=\"${COMP_WORDS[COMP_CWORD - 1]}\"\n"
        << "    fi\n"
        << "    # The command typed so far, skipping the values of the options before it.\n"
        << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "        word=\"${COMP_WORDS[i]}\"\n"
        << "        case \"$path|$word\" in\n"
        << "        " << Join(valuePatterns, " | ") << ")\n"
        << "            i=$((i + 1))\n"
        << "            ;;\n"
        << "        " << Join(commandPatterns, " | ") << ")\n"
        << "            path=\"${path:+$path }$word\"\n"
        << "            ;;\n"
        << "        esac\n"
        << "    done\n"
        << "    case \"$path|$prev\" in\n"
        << valueCases.str() << "    esac\n"
        << "    case \"$path\" in\n";
    for (const Command& command : commands) {
        out << "    \"" << command.path << "\")\n"
            << "        _nso_reply -W \"" << WordsOf(command, app) << "\"\n";
        if (TakesFileArgument(*command.app)) {
            out << "        if [[ $cur != -* ]]; then\n"
                << "            local files\n"
                << "            mapfile -t files < <(compgen -f -- \"$cur\")\n"
                << "            COMPREPLY+=(\"${files[@]}\")\n"
                << "        fi\n";
        }
        out << "        ;;\n";
    }
    out << "    esac\n"
        << "}\n\n"
        << "complete -F _nso nso\n";
}

} // namespace nsoapp
