// The Togl adapter inside a real Tk interpreter on the test display.
#include "togl/togl_adapter.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include "togl/togl_include.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "tests/support/x_display.h"

namespace lumo {
namespace {

struct Seen {
    std::vector<std::string> events;
    std::vector<std::string> args;
    std::vector<std::string> reports;  // out-of-memory lines of the callbacks
    bool exhaust_display = false;      // the display callback runs out of memory
    bool exhaust_reshape = false;
};
Seen g_seen;

void Display(Togl* togl) {
    g_seen.events.push_back(std::string("display ") + Togl_Ident(togl));
    if (g_seen.exhaust_display) throw std::bad_alloc();
    glClearColor(0, 0, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    Togl_SwapBuffers(togl);
}

void Reshape(Togl* togl) {
    g_seen.events.push_back(std::string("reshape ") + Togl_Ident(togl) + " " +
                            std::to_string(Togl_Width(togl)) + "x" +
                            std::to_string(Togl_Height(togl)));
    if (g_seen.exhaust_reshape) throw std::bad_alloc();
}

int Create(ToglAdapter& adapter, Togl* togl) {
    const std::string ident = Togl_Ident(togl);
    g_seen.events.push_back("create " + ident);
    if (ident == "exhausted") throw std::bad_alloc();
    if (ident == "refused") {
        Tcl_SetResult(Togl_Interp(togl), const_cast<char*>("refused on purpose"),
                      TCL_STATIC);
        return TCL_ERROR;
    }
    adapter.SetDisplayFunc(togl, Display);
    adapter.SetReshapeFunc(togl, Reshape);
    return TCL_OK;
}

int Exhausted(Togl*, int, const char*[]) {
    throw std::bad_alloc();
}

void Destroyed(Togl* togl) {
    g_seen.events.push_back(std::string("destroyed ") + Togl_Ident(togl));
}

int Probe(Togl* togl, int argc, const char* argv[]) {
    g_seen.args.assign(argv, argv + argc);
    Tcl_SetResult(Togl_Interp(togl), const_cast<char*>(Togl_Ident(togl)), TCL_VOLATILE);
    return TCL_OK;
}

class ToglAdapterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(lumo::testing::TestDisplay().empty()) << "no X display for the test";
        g_seen = Seen();
        interp_ = Tcl_CreateInterp();
        ASSERT_EQ(TCL_OK, Tcl_Init(interp_)) << Tcl_GetStringResult(interp_);
        ASSERT_EQ(TCL_OK, Tk_Init(interp_)) << Tcl_GetStringResult(interp_);
        ASSERT_EQ(TCL_OK, Togl_Init(interp_)) << Tcl_GetStringResult(interp_);
        ASSERT_EQ(TCL_OK, adapter_.Install(interp_));
        adapter_.SetCreateFunc([this](Togl* togl) { return Create(adapter_, togl); });
        adapter_.CreateCommand("probe", Probe);
        adapter_.CreateCommand("exhausted", Exhausted);
        adapter_.SetDestroyFunc(Destroyed);
        adapter_.SetOutOfMemoryMessages("no memory to create\n", "no memory\n");
        adapter_.SetOutOfMemoryReport([](Togl* togl, const std::string& line) {
            g_seen.reports.push_back(std::string(Togl_Ident(togl)) + ": " + line);
        });
    }
    void TearDown() override {
        Tcl_Eval(interp_, "destroy .");
        Tcl_DeleteInterp(interp_);
    }

    std::string Eval(const std::string& script) {
        const int rc = Tcl_Eval(interp_, script.c_str());
        EXPECT_EQ(TCL_OK, rc) << script << ": " << Tcl_GetStringResult(interp_);
        return Tcl_GetStringResult(interp_);
    }

    // Outlives the interpreter: its widgets' commands point at it.
    ToglAdapter adapter_;
    Tcl_Interp* interp_ = nullptr;
};

TEST_F(ToglAdapterTest, CreateReshapeAndDisplayReachTheCCallbacks) {
    Eval("togl .a -ident slabview -width 64 -height 48 -double true -depth true");
    ASSERT_GE(g_seen.events.size(), 2u);
    EXPECT_EQ("create slabview", g_seen.events[0]);
    EXPECT_EQ("reshape slabview 64x48", g_seen.events[1]);
    Eval("pack .a; update");
    g_seen.events.clear();
    Eval(".a postredisplay; update");
    ASSERT_FALSE(g_seen.events.empty());
    EXPECT_EQ("display slabview", g_seen.events.back());
}

TEST_F(ToglAdapterTest, SubCommandsSeeTheirFirstArgumentAtArgv2) {
    Eval("togl .b -ident light -width 32 -height 32 -double true -depth true");
    EXPECT_EQ("light", Eval(".b probe 10 20"));
    EXPECT_EQ((std::vector<std::string>{".b", "probe", "10", "20"}), g_seen.args);
    // Togl's own sub-commands still work on the wrapped widget.
    EXPECT_EQ("32", Eval(".b cget -width"));
    Eval(".b configure -width 40");
    EXPECT_EQ(nullptr, adapter_.FromPath(interp_, ".nothing"));
    EXPECT_NE(nullptr, adapter_.FromPath(interp_, ".b"));
    Eval("destroy .b");
    EXPECT_EQ(nullptr, adapter_.FromPath(interp_, ".b"));
    EXPECT_NE(TCL_OK, Tcl_Eval(interp_, ".b probe"));
}

TEST_F(ToglAdapterTest, ACreateCallbackCanRefuseTheWidget) {
    EXPECT_EQ(TCL_ERROR,
              Tcl_Eval(interp_, "togl .r -ident refused -double true -depth true"));
    EXPECT_NE(std::string::npos,
              std::string(Tcl_GetStringResult(interp_)).find("refused"));
    EXPECT_EQ("0", Eval("winfo exists .r"));
}

TEST_F(ToglAdapterTest, DeletingAWidgetTellsTheProgramWhileItsToglIsValid) {
    Eval("togl .d -ident first -width 16 -height 16 -double true -depth true");
    Eval("togl .e -ident second -width 16 -height 16 -double true -depth true");
    g_seen.events.clear();
    Eval("destroy .d");
    Eval("rename .e {}");
    EXPECT_EQ((std::vector<std::string>{"destroyed first", "destroyed second"}),
              g_seen.events);
}

// A create callback that runs out of memory refuses its widget with a Tcl
// error naming it; the program goes on and makes the next widget.
TEST_F(ToglAdapterTest, ACreateCallbackOutOfMemoryRefusesTheWidget) {
    EXPECT_EQ(TCL_ERROR,
              Tcl_Eval(interp_, "togl .g -ident exhausted -double true -depth true"));
    // Togl adds its own line after the callback's.
    EXPECT_EQ(0u, std::string(Tcl_GetStringResult(interp_))
                      .find("not enough memory for '.g create'\n"))
        << Tcl_GetStringResult(interp_);
    EXPECT_EQ("0", Eval("winfo exists .g"));
    Eval("togl .h -ident plain -width 16 -height 16 -double true -depth true");
    EXPECT_EQ("plain", Eval(".h probe"));
    EXPECT_TRUE(g_seen.reports.empty());
}

// A display or reshape callback that runs out of memory is reported in one
// line and skipped; the widget and the program go on, and the next frame is
// drawn.
TEST_F(ToglAdapterTest, ADrawingCallbackOutOfMemoryIsReportedAndSkipped) {
    Eval("togl .k -ident drawn -width 16 -height 16 -double true -depth true");
    Eval("pack .k; update");
    g_seen.exhaust_display = true;
    Eval(".k postredisplay; update");
    g_seen.exhaust_reshape = true;
    Eval(".k configure -width 24; update");
    EXPECT_EQ((std::vector<std::string>{"drawn: not enough memory for '.k display'",
                                        "drawn: not enough memory for '.k reshape'"}),
              std::vector<std::string>(
                  g_seen.reports.begin(),
                  g_seen.reports.begin() + std::min<size_t>(2, g_seen.reports.size())));
    g_seen.exhaust_display = g_seen.exhaust_reshape = false;
    g_seen.events.clear();
    g_seen.reports.clear();
    Eval(".k postredisplay; update");
    EXPECT_EQ("drawn", Eval(".k probe"));
    ASSERT_FALSE(g_seen.events.empty());
    EXPECT_EQ("display drawn", g_seen.events.back());
    EXPECT_TRUE(g_seen.reports.empty());
}

// A sub-command that runs out of memory is a Tcl error naming it; the widget
// and the program go on.
TEST_F(ToglAdapterTest, ASubCommandOutOfMemoryIsATclErrorAndTheWidgetGoesOn) {
    Eval("togl .f -ident plain -width 16 -height 16 -double true -depth true");
    EXPECT_EQ(TCL_ERROR, Tcl_Eval(interp_, ".f exhausted huge.png"));
    EXPECT_EQ("not enough memory for '.f exhausted huge.png'",
              std::string(Tcl_GetStringResult(interp_)));
    EXPECT_EQ("plain", Eval(".f probe"));
}

TEST_F(ToglAdapterTest, AWidgetWithoutIdentIsCreatedToo) {
    Eval("togl .c -width 16 -height 16 -double true -depth true");
    EXPECT_EQ("create ", g_seen.events.at(0));
}

}  // namespace
}  // namespace lumo
