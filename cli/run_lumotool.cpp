#include "cli/run_lumotool.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/tool_command.h"

namespace lumo::tool {
namespace {

std::vector<const ToolCommand*> Commands() {
    return {
        &InfoCommand(),   &RelightCommand(), &BakeCommand(),
        &FitCommand(),    &ImportCommand(),  &NormalsCommand(),
        &PackCommand(),   &UnpackCommand(),  &CacheCommand(),
#ifdef LUMO_HAVE_RENDER
        &RenderCommand(),
#endif
    };
}

const ToolCommand* FindCommand(std::string_view name) {
    for (const ToolCommand* c : Commands()) {
        if (c->name == name) return c;
    }
    return nullptr;
}

void PrintOverview(std::FILE* out) {
    std::fprintf(out, "usage: lumotool SUBCOMMAND [ARGS...]\n\nSubcommands:\n");
    for (const ToolCommand* c : Commands()) {
        std::fprintf(out, "  %-10.*s %.*s\n", static_cast<int>(c->name.size()),
                     c->name.data(), static_cast<int>(c->summary.size()),
                     c->summary.data());
    }
    std::fprintf(
        out,
        "  %-10s %s\n\nRun 'lumotool SUBCOMMAND --help' for a subcommand's options.\n",
        "help", "Print this overview, or a subcommand's help");
}

void PrintCommandHelp(const ToolCommand& c, std::FILE* out) {
    std::fprintf(out, "usage: lumotool %.*s\n\n%.*s\n", static_cast<int>(c.usage.size()),
                 c.usage.data(), static_cast<int>(c.summary.size()), c.summary.data());
    if (!c.details.empty()) {
        std::fprintf(out, "\n%.*s", static_cast<int>(c.details.size()), c.details.data());
        if (c.details.back() != '\n') std::fputc('\n', out);
    }
}

}  // namespace

int RunLumotool(int argc, char** argv) {
    CLI::App app("lumo's command-line companion", "lumotool");
    app.set_help_flag("-h,--help");
    app.require_subcommand(1);

    std::string help_topic;
    CLI::App* help = app.add_subcommand("help", "help");
    help->add_option("subcommand", help_topic);

    std::vector<std::pair<CLI::App*, Runner>> runners;
    for (const ToolCommand* c : Commands()) {
        CLI::App* sub = app.add_subcommand(std::string(c->name), std::string(c->summary));
        sub->set_help_flag("-h,--help");
        runners.emplace_back(sub, c->configure(*sub));
    }

    auto chosen = [&]() -> const ToolCommand* {
        for (CLI::App* sub : app.get_subcommands()) {
            if (const ToolCommand* c = FindCommand(sub->get_name())) return c;
        }
        return nullptr;
    };

    // A first word that names no subcommand is named back, before the parser
    // would take it for a stray argument.
    if (argc >= 2 && argv[1][0] != '-' && std::string_view(argv[1]) != "help" &&
        FindCommand(argv[1]) == nullptr) {
        return ReportUsageError(nullptr,
                                std::string("unknown subcommand '") + argv[1] + "'");
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        if (const ToolCommand* c = chosen()) {
            PrintCommandHelp(*c, stdout);
        } else {
            PrintOverview(stdout);
        }
        return 0;
    } catch (const CLI::ParseError& e) {
        return ReportUsageError(chosen(), e.what());
    }

    if (help->parsed()) {
        if (help_topic.empty()) {
            PrintOverview(stdout);
            return 0;
        }
        const ToolCommand* c = FindCommand(help_topic);
        if (c == nullptr)
            return ReportUsageError(nullptr, "unknown subcommand '" + help_topic + "'");
        PrintCommandHelp(*c, stdout);
        return 0;
    }
    for (auto& [sub, run] : runners) {
        if (!sub->parsed()) continue;
        // An input too large for the memory there is ends the command with one
        // line naming the subcommand and its first argument (the file it
        // reads), never with an exception through main.
        try {
            return run();
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "lumotool: %s: not enough memory while reading %s\n",
                         sub->get_name().c_str(), argc > 2 ? argv[2] : "its input");
            return 1;
        }
    }
    return ReportUsageError(nullptr, "a subcommand is required");
}

}  // namespace lumo::tool
