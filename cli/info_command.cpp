// lumotool info [--json] SCENE.lid
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/scene_info.h"
#include "cli/tool_command.h"
#include "scene/lid_reader.h"

namespace lumo::tool {
namespace {

struct InfoOptions {
    bool json = false;
    std::string scene;
};

Runner ConfigureInfo(CLI::App& sub) {
    auto options = std::make_shared<InfoOptions>();
    sub.add_flag("--json", options->json);
    sub.add_option("SCENE.lid", options->scene)->required();
    return [options]() {
        auto info = std::make_unique<LidInfo>();
        ReadLidFileOrExit(options->scene.c_str(), *info);
        const std::string out =
            options->json ? SceneInfoJson(*info) : SceneInfoText(*info, options->scene);
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    };
}

}  // namespace

const ToolCommand& InfoCommand() {
    static const ToolCommand command{
        "info",
        "info [--json] SCENE.lid",
        "Read a scene description (no data files) and print it",
        "Options:\n"
        "  --json   print one JSON object whose members are the records' field names\n"
        "\n"
        "Errors in the file end with the reader's message and exit status 1.\n",
        ConfigureInfo,
    };
    return command;
}

}  // namespace lumo::tool
