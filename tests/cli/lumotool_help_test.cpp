// Every subcommand's help names everything the subcommand takes: each option
// and positional its parser knows, and for the lights every key of a light
// SPEC; and the words at the process boundary: an unknown subcommand is named.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <string>
#include <vector>

#include "cli/tool_command.h"
#include "model/light_spec.h"
#include "tests/support/run_process.h"

namespace lumo {
namespace {

using lumo::testing::ProcessResult;
using lumo::testing::RunProcess;

std::vector<const tool::ToolCommand*> Commands() {
    return {
        &tool::InfoCommand(),   &tool::RelightCommand(), &tool::BakeCommand(),
        &tool::FitCommand(),    &tool::PackCommand(),    &tool::UnpackCommand(),
        &tool::CacheCommand(),
#ifdef LUMO_HAVE_RENDER
        &tool::RenderCommand(),
#endif
    };
}

// Whether `text` holds `word` as a whole word (not as the start of a longer
// option such as --light in --lights).
bool Mentions(const std::string& text, const std::string& word) {
    for (size_t at = text.find(word); at != std::string::npos;
         at = text.find(word, at + 1)) {
        const size_t end = at + word.size();
        if (end == text.size() ||
            !(std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-'))
            return true;
    }
    return false;
}

TEST(LumotoolHelpTest, EverySubcommandsHelpNamesEveryOptionItTakes) {
    for (const tool::ToolCommand* c : Commands()) {
        SCOPED_TRACE(std::string(c->name));
        CLI::App sub;
        c->configure(sub);
        const std::string usage(c->usage);
        const std::string details(c->details);
        size_t options = 0;
        for (const CLI::Option* o : sub.get_options()) {
            for (const std::string& name : o->get_lnames()) {
                if (name == "help") continue;
                ++options;
                EXPECT_TRUE(Mentions(usage, "--" + name))
                    << "--" << name << ": " << usage;
                EXPECT_TRUE(Mentions(details, "--" + name))
                    << "--" << name << ": " << details;
            }
            if (o->get_lnames().empty() && o->get_snames().empty()) {
                EXPECT_TRUE(Mentions(usage, o->get_name()))
                    << o->get_name() << ": " << usage;
            }
        }
        // The parser was read: every subcommand but info takes options.
        if (c->name != "info") {
            EXPECT_GT(options, 0u);
        }
    }
}

TEST(LumotoolHelpTest, TheLightsHelpNamesEveryKeyAndKind) {
    std::vector<const tool::ToolCommand*> lit = {&tool::RelightCommand()};
#ifdef LUMO_HAVE_RENDER
    lit.push_back(&tool::RenderCommand());
#endif
    for (const tool::ToolCommand* c : lit) {
        SCOPED_TRACE(std::string(c->name));
        const std::string details(c->details);
        for (const LightSpecKey& key : LightSpecKeys())
            EXPECT_NE(std::string::npos, details.find(std::string(key.name) + "="))
                << key.name;
        EXPECT_NE(std::string::npos, details.find("kind=dir|point|slide|env|reserved"));
    }
}

TEST(LumotoolHelpTest, AnUnknownSubcommandIsNamedWithStatus2) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::string hint =
        "usage: lumotool SUBCOMMAND [ARGS...]; see 'lumotool help'\n";
    const std::vector<Case> cases = {
        {{"frobnicate"}, "lumotool: unknown subcommand 'frobnicate'\n" + hint},
        {{"frobnicate", "scene.lid", "--quiet"},
         "lumotool: unknown subcommand 'frobnicate'\n" + hint},
        {{"help", "frobnicate"}, "lumotool: unknown subcommand 'frobnicate'\n" + hint},
        {{}, "lumotool: A subcommand is required\n" + hint},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = c.args;
        argv.insert(argv.begin(), LUMOTOOL_PATH);
        const ProcessResult r = RunProcess(argv);
        EXPECT_EQ(2, r.exit_code);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(c.err, r.err);
    }
}

}  // namespace
}  // namespace lumo
