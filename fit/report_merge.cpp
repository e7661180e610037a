#include "fit/report_merge.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <vector>

#include "base/atomic_file.h"
#include "base/psnr.h"
#include "base/str_printf.h"
#include "base/text_file.h"
#include "io/bounded_json.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

Status Fail(const std::string& file, const std::string& why) {
    return Status::Error(
        StrPrintf("[MergeFitReports]: %s: %s\n", file.c_str(), why.c_str()));
}

nlohmann::json Pooled(double squared, double samples) {
    const double rms = samples > 0 ? std::sqrt(squared / samples) : 0.0;
    const double psnr = samples > 0 ? PsnrFromMse(squared / samples) : 0.0;
    return {
        {"rms", rms}, {"psnr", psnr}, {"squared_error", squared}, {"samples", samples}};
}

}  // namespace

Status MergeFitReports(const Capture& capture, const std::string& outdir) {
    const std::regex part_name(R"(fit-report\.[0-9]+-[0-9]+\.json)");
    std::vector<std::string> parts;
    std::error_code ec;
    for (fs::directory_iterator it(outdir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (std::regex_match(name, part_name)) parts.push_back(name);
    }
    if (parts.empty()) return Fail(outdir, "no report parts");
    std::sort(parts.begin(), parts.end());

    const size_t count = capture.cameras.size();
    std::vector<nlohmann::json> cameras(count);
    std::vector<std::string> owner(count);
    nlohmann::json settings;
    const char* kSettings[] = {"name",       "bands", "lambda", "holdout",
                               "mask_below", "width", "height", "grid"};
    double fit_sq = 0, fit_n = 0, hold_sq = 0, hold_n = 0;
    for (const std::string& name : parts) {
        const std::string path = (fs::path(outdir) / name).string();
        nlohmann::json part;
        std::string text, why;
        const TextFileError read = ReadTextFile(path, kReportPartCap, text, why);
        if (read != TextFileError::kNone) return Fail(path, why);
        try {
            // No camera's entry takes fewer than 16 bytes.
            part = ParseBoundedJson<nlohmann::json>(text, BoundsForText(text.size(), 16));
            nlohmann::json these;
            for (const char* key : kSettings)
                these[key] = part.at(key);
            // A count, or the default's words.
            const nlohmann::json& holdout = these["holdout"];
            if (!holdout.is_number_integer() && holdout != "one in ten")
                return Fail(path, "holdout is not an integer or \"one in ten\"");
            if (part.contains("choice")) these["choice"] = part.at("choice");
            if (settings.is_null()) {
                settings = these;
            } else if (these != settings) {
                return Fail(path, "fitted with other settings than " + parts.front());
            }
            for (const nlohmann::json& cam : part.at("cameras")) {
                const long long index = cam.at("index").get<long long>();
                if (index < 0 || static_cast<size_t>(index) >= count) {
                    return Fail(path,
                                StrPrintf("camera %lld is not in the capture", index));
                }
                const size_t k = static_cast<size_t>(index);
                if (!owner[k].empty()) {
                    return Fail(outdir, StrPrintf("camera %lld is in two parts", index));
                }
                owner[k] = name;
                cameras[k] = cam;
                fit_sq += cam.at("fit").at("squared_error").get<double>();
                fit_n += cam.at("fit").at("samples").get<double>();
                if (cam.contains("holdout")) {
                    hold_sq += cam.at("holdout").at("squared_error").get<double>();
                    hold_n += cam.at("holdout").at("samples").get<double>();
                }
            }
        } catch (const JsonBoundsExceeded& e) {
            return Fail(path, e.what());
        } catch (const nlohmann::json::exception& e) {
            return Fail(path, e.what());
        }
    }
    for (size_t k = 0; k < count; ++k) {
        if (owner[k].empty())
            return Fail(outdir, StrPrintf("camera %zu is in no part", k));
    }
    nlohmann::json report = {{"capture", capture.source}};
    for (const char* key : kSettings)
        report[key] = settings[key];
    if (settings.contains("choice")) report["choice"] = settings["choice"];
    report["cameras_fitted"] = {0, static_cast<long long>(count) - 1};
    report["scale"] = "8-bit: errors in units of 1/255 of the photographs' full scale";
    report["parts"] = parts;
    report["cameras"] = cameras;
    report["overall"] = {{"fit", Pooled(fit_sq, fit_n)}};
    if (hold_n > 0) report["overall"]["holdout"] = Pooled(hold_sq, hold_n);

    const std::string path = (fs::path(outdir) / "fit-report.json").string();
    if (!WriteFileAtomically(path, report.dump(2) + "\n").ok())
        return Fail(path, "cannot write");
    return Status::Ok();
}

}  // namespace lumo
