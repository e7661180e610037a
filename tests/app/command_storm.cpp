#include "tests/app/command_storm.h"

#include <array>
#include <string_view>

namespace lumo::testing {
namespace {

// SplitMix64: the same numbers on every platform and library.
class Dice {
  public:
    explicit Dice(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
    template <typename T, size_t N>
    const T& Pick(const std::array<T, N>& items) {
        return items[Below(N)];
    }

  private:
    uint64_t state_;
};

// Every widget command of both views, and Togl's own that redraw or resize.
constexpr std::array<std::string_view, 29> kCommands = {
    "rectran",    "grabscr",      "lbdown",        "lbdrag",           "mbdown",
    "mbup",       "mbdrag",       "hnddrawmode",   "svnotifylightchg", "getinten",
    "deletesrc",  "chgltype",     "changecolor",   "reflectlightinfo", "newlightvalue",
    "clear_fps",  "ab_lbdown",    "ab_lbup",       "ab_lbdrag",        "ab_clbdrag",
    "ab_slbdrag", "ab_cslbdrag",  "postredisplay", "swapbuffers",      "pan",
    "magnify",    "actualpixels", "resetview",     "startmode",
};

constexpr std::array<std::string_view, 16> kVariables = {
    "skipconstpoly", "skipbilinpoly", "constgridenable", "bilingridenable",
    "preview",       "show_fps",      "drawslabmode",    "lightcnt",
    "currlight",     "currlighttype", "harcnt_s",        "radius_s",
    "slidelookat_s", "slideup_s",     "slidefov_s",      "slidename",
};

// Words that are hostile as numbers, as lists of numbers and as names; each
// is safe inside braces.
constexpr std::array<std::string_view, 40> kWords = {
    "",
    "0",
    "1",
    "-1",
    "2",
    "3",
    "4",
    "29",
    "30",
    "31",
    "255",
    "256",
    "400",
    "2147483647",
    "-2147483648",
    "2147483648",
    "-2147483649",
    "99999999999999999999",
    "1e308",
    "-1e308",
    "1e-320",
    "nan",
    "inf",
    "-inf",
    "abc",
    "0x7fffffff",
    "3.5",
    "-0.0",
    " 12 ",
    "1,2,3",
    "1e30,-1e30,nan",
    "0,0,0",
    "180,180",
    "-5,500",
    ",,",
    "%s%n%d%x",
    "slide.rgb",
    "/nonexistent/dir/slide.rgb",
    "obj.0.0.urdf.sh",
    "img0000.ppm",
};

std::string Word(Dice& dice) {
    switch (dice.Below(8)) {
        case 0:  // any 32-bit integer
            return std::to_string(
                static_cast<int32_t>(static_cast<uint32_t>(dice.Next())));
        case 1:  // a pixel inside a small window
            return std::to_string(dice.Below(320));
        case 2:  // a name longer than every buffer
            return std::string(90 + dice.Below(300),
                               static_cast<char>('a' + dice.Below(26)));
        default:
            return std::string(dice.Pick(kWords));
    }
}

// The lines are built with += one piece at a time: the dice are then thrown
// in one defined order (the operands of a + chain are evaluated in an
// unspecified one), and GCC 12 at -O3 gives a false -Wrestrict for
// "literal" + std::string&&.
void AddBraced(std::string& line, const std::string& word) {
    line += " {";
    line += word;
    line += '}';
}

std::string View(Dice& dice) {
    const size_t v = dice.Below(20);
    if (v == 0) return ".gone";  // a widget that does not exist
    return v % 2 == 0 ? ".slab" : ".light";
}

std::string WidgetCommand(Dice& dice) {
    std::string line = "catch {";
    line += View(dice);
    line += ' ';
    line += dice.Pick(kCommands);
    // Mostly the right number of arguments or near it; sometimes none or many.
    const size_t args = dice.Below(10) == 0 ? dice.Below(8) : dice.Below(5);
    for (size_t i = 0; i < args; ++i)
        AddBraced(line, Word(dice));
    return line + "}\n";
}

std::string VariableWrite(Dice& dice) {
    const std::string_view name = dice.Pick(kVariables);
    const bool unset = dice.Below(25) == 0;
    std::string line = unset ? "catch {unset " : "catch {set ";
    line += name;
    if (!unset) AddBraced(line, Word(dice));
    return line + "}\n";
}

std::string Step(Dice& dice, int index) {
    const size_t roll = dice.Below(100);
    if (roll < 52) return WidgetCommand(dice);
    if (roll < 72) return VariableWrite(dice);
    if (roll < 80)
        return dice.Below(2) == 0 ? "catch {update}\n" : "catch {update idletasks}\n";
    if (roll < 84) {
        // Grabs pile up: every eighth step's grab sweeps them away.
        return index % 8 == 0 ? "catch {.slab grabscr}\nstorm_sweep\n"
                              : "catch {.slab grabscr}\n";
    }
    if (roll < 88)
        return "catch {set lightcnt [expr {$lightcnt + 1}]; .slab svnotifylightchg}\n";
    if (roll < 91) return "catch {.slab deletesrc $currlight}\n";
    std::string line = "catch {";
    if (roll < 93) {
        line += View(dice);
        line += " configure -width ";
        line += std::to_string(1 + dice.Below(400));
        line += " -height ";
        line += std::to_string(1 + dice.Below(400));
        return line + "}\n";
    }
    if (roll < 95) {
        line += "destroy ";
        line += View(dice);
        return line + "}\n";
    }
    if (roll < 96) {
        // A second main view is refused while one exists, and becomes the
        // main view when none does; either way it goes again.
        return "catch {togl .again -ident slabview -width 50 -height 50 -double true "
               "-depth true; pack .again; update}\ncatch {destroy .again}\n";
    }
    return "catch {storm_remake}\n";
}

}  // namespace

std::string CommandStormScript(uint64_t seed, int count) {
    Dice dice(seed);
    std::string script =
        "proc storm_remake {} {\n"
        "    foreach {w ident} {.slab slabview .light lightview} {\n"
        "        if {![winfo exists $w]} {\n"
        "            togl $w -ident $ident -width 300 -height 300 -rgba true "
        "-double true -depth true\n"
        "            pack $w -side left\n"
        "        }\n"
        "    }\n"
        "}\n"
        "proc storm_sweep {} {\n"
        "    foreach f [glob -nocomplain img*.ppm] { file delete $f }\n"
        "}\n";
    for (int i = 0; i < count; ++i)
        script += Step(dice, i);
    // Afterwards the viewer still works: both views again, a frame, a grab.
    script +=
        "catch {destroy .again}\n"
        "storm_remake\n"
        "set lightcnt 1\nset currlight 0\nset currlighttype 0\nset drawslabmode 1\n"
        "set harcnt_s 4\nset radius_s 3\n"
        ".slab svnotifylightchg\n.slab postredisplay\nupdate\n"
        "puts \"storm grab: [.slab grabscr]\"\n";
    return script;
}

}  // namespace lumo::testing
