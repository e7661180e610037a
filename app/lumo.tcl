# lumo.tcl: the viewer's window.
#
# The main view (.slab) shows the relit light field; the light-editing view
# (.light) shows the lights around a teapot, and dragging in it turns the
# current light. The panel on the right edits the lights and the display.
#
# Every change that needs a new picture goes through lumo::relight, which
# applies the light-editing variables to the current light (svnotifylightchg)
# and redraws both views; the reconstruction itself runs in the main view's
# next redraw. After every lumo:: procedure the panel shows the model
# (lumo::show_model): each field holds the value in use.
#
# The procedures a script may call (lumo::relight, lumo::add_light,
# lumo::open_envmap_file, lumo::open_lights_file, lumo::dump_transform, ...)
# never open a dialog: a failure is reported on the status line and the
# console and returned as the error. Only the menu's own actions (choosing a
# file, a colour) open dialogs.

package require Tk

namespace eval lumo {
    # Light kinds, as chgltype applies them.
    variable kinds {0 Directional 1 Point 2 Environment 3 "Slide projector"}
    # lighttype($i): the kind of light $i, kept beside the viewer's lights.
    variable lighttype
    array set lighttype {0 0}
    variable status ""
    variable colour "#ffffff"
    # The current light's environment map, as the panel shows it.
    variable envname ""
    # Why the scene opened in corner mode, for the status line ("" otherwise).
    variable mode_note ""
}

# --- Redrawing and applying ------------------------------------------------

proc lumo::redraw {} {
    .slab postredisplay
    .light postredisplay
}

# Applies the staged light edits to the current light and redraws. A field
# that holds no usable value is refused: it shows the value in use again, the
# other fields are applied, and the status line, the console and the error
# say what was refused.
proc lumo::relight {} {
    global radius_s
    set refused [lumo::refuse_invalid_fields]
    set distance [string trim $radius_s]
    set below [expr {[string is double -strict $distance] && $distance < 1}]
    .slab svnotifylightchg
    lumo::redraw
    lumo::show_model
    if {$below} { append lumo::status "  |  distance $distance is below 1: 1 is used" }
    if {$refused ne ""} {
        lumo::report $refused
        return -code error $refused
    }
}

# lumo::relight for the panel's fields and bindings: a refusal is already on
# the status line.
proc lumo::apply_fields {} {
    catch {lumo::relight}
}

# A failure of a procedure: on the status line and the console.
proc lumo::report {message} {
    set lumo::status $message
    puts stderr "lumo: $message"
}

proc lumo::kind_name {kind} {
    variable kinds
    foreach {k name} $kinds {
        if {$k == $kind} { return $name }
    }
    return "Reserved"
}

# The status line and the list of lights, from the model.
proc lumo::update_status {} {
    lumo::show_model
}

proc lumo::show_status {{relightable 1}} {
    variable status
    variable lighttype
    global lightcnt currlight harcnt_s drawslabmode
    if {!$relightable} {
        set status "Photographs: lights change nothing"
    } elseif {$lightcnt <= 0} {
        set status "No light"
    } else {
        set kind [lumo::kind_name $lighttype($currlight)]
        set status "Light [expr {$currlight + 1}] of $lightcnt: $kind  |  $harcnt_s harmonic terms"
    }
    append status "  |  " [expr {$drawslabmode == 0 ? "corner mode" : "centre mode"}]
    if {$drawslabmode == 0 && $lumo::mode_note ne ""} {
        append status " (" $lumo::mode_note ")"
    }
    set mixed [expr {$relightable ? [lumo::mixed_lights_note] : ""}]
    if {$mixed ne ""} { append status "  |  " $mixed }
    .lights.list configure -state normal
    .lights.list selection clear 0 end
    .lights.list delete 0 end
    for {set i 0} {$i < $lightcnt} {incr i} {
        .lights.list insert end "Light [expr {$i + 1}]: [lumo::kind_name $lighttype($i)]"
    }
    if {$lightcnt > 0} {
        .lights.list selection set $currlight
        .lights.list see $currlight
    }
}

# --- The panel shows the model -------------------------------------------------

# Brings every value the panel shows to the value in use: the lights and
# their kinds, the current light's kind, colour (also staged, so the next
# edit keeps it), distance, slide fields and map, the harmonic terms, which
# controls apply, and the status line.
proc lumo::show_model {} {
    variable lighttype
    variable colour
    variable envname
    global lightcnt currlighttype harcnt_s radius_s slidelookat_s slideup_s slidefov_s \
        slidename
    set info [.slab lightinfo]
    set harcnt_s [dict get $info harmonics]
    if {[dict exists $info kind]} {
        .slab changecolor {*}[dict get $info colour]
        set radius_s [dict get $info radius]
        set slidelookat_s [dict get $info lookat]
        set slideup_s [dict get $info up]
        set slidefov_s [dict get $info fov]
        set slidename [dict get $info slide]
    }
    lumo::show_lights $info
}

# What show_model shows but the staged edits: the lights and their kinds, the
# current light's colour swatch and map, which controls apply, the status
# line and (unless KIND is 0) the current light's kind. Light-editing fields a
# script has written but not applied yet stay as they are.
proc lumo::show_lights {{info {}} {kind 1}} {
    variable lighttype
    variable colour
    variable envname
    global currlighttype
    if {$info eq ""} { set info [.slab lightinfo] }
    array unset lighttype
    set i 0
    foreach kind [dict get $info kinds] {
        set lighttype($i) $kind
        incr i
    }
    set lighttype($i) 0
    set envname ""
    if {[dict exists $info kind]} {
        if {$kind} { set currlighttype [dict get $info kind] }
        set colour [format "#%02x%02x%02x" {*}[dict get $info colour]]
        .panel.light.colour configure -background $colour
        set envname [dict get $info envmap]
    }
    lumo::show_status [dict get $info relightable]
    lumo::show_light_fields $info
}

# The widget commands a script calls directly change the model too: after
# one that applies the staged edits or replaces lights (svnotifylightchg,
# openlights, deletesrc) the whole panel shows the model again; after one that
# changes a light without applying the staged edits (chgltype, envmap FILE)
# everything but the staged fields does.
proc lumo::after_widget_command {command code result op} {
    # The panel never turns a widget command that worked into a failure.
    catch {
        switch -- [lindex $command 1] {
            svnotifylightchg - openlights - deletesrc { lumo::show_model }
            chgltype { lumo::show_lights }
            envmap { if {[llength $command] > 2} { lumo::show_lights {} 0 } }
        }
    }
}

# "x,y,z" (COUNT numbers separated by commas).
proc lumo::numbers_ok {text count} {
    set parts [split $text ,]
    if {[llength $parts] != $count} { return 0 }
    foreach part $parts {
        if {![string is double -strict [string trim $part]]} { return 0 }
    }
    return 1
}

# Puts back every light-editing field that holds no usable value (the value
# in use shows again) and returns what was refused ("" when nothing was).
proc lumo::refuse_invalid_fields {} {
    global lightcnt harcnt_s radius_s slidelookat_s slideup_s slidefov_s
    set info [.slab lightinfo]
    if {$lightcnt <= 0 || ![dict exists $info kind]} { return "" }
    set refused {}
    set max [dict get $info maxharmonics]
    set terms [string trim $harcnt_s]
    if {$max > 0 && (![string is integer -strict $terms] || $terms < 1 || $terms > $max)} {
        lappend refused "Harmonic terms \"$harcnt_s\" refused: 1 to $max (what the\
            coefficient files hold)"
        set harcnt_s [dict get $info harmonics]
    }
    if {![string is double -strict [string trim $radius_s]]} {
        lappend refused "Distance \"$radius_s\" is not a number"
        set radius_s [dict get $info radius]
    }
    if {[dict get $info kind] == 3} {
        foreach {var count label key} {
            slidelookat_s 3 "Aims at" lookat slideup_s 3 "Up" up
            slidefov_s 2 "Field of view" fov
        } {
            if {![lumo::numbers_ok [set $var] $count]} {
                lappend refused "$label \"[set $var]\" refused: $count numbers separated\
                    by commas"
                set $var [dict get $info $key]
            }
        }
    }
    return [join $refused "; "]
}

# Several lights with a point light or a slide projector among them act as
# directional lights unless mixed lights are on: the status line says so.
proc lumo::mixed_lights_note {} {
    variable lighttype
    global lightcnt mixedlights
    if {$mixedlights || $lightcnt < 2} { return "" }
    for {set i 0} {$i < $lightcnt} {incr i} {
        if {$lighttype($i) == 1 || $lighttype($i) == 3} {
            return "$lightcnt lights: point lights and slide projectors act as\
                directional lights (Lights > Mixed lights)"
        }
    }
    return ""
}

# Lights > Mixed lights: each light by its own kind, or several lights as
# directional lights.
proc lumo::set_mixed_lights {} {
    lumo::apply_fields
}

# --- Lights ----------------------------------------------------------------

proc lumo::select_light {index} {
    variable lighttype
    global lightcnt currlight currlighttype
    if {$index < 0 || $index >= $lightcnt} { return }
    set currlight $index
    set currlighttype $lighttype($index)
    .slab reflectlightinfo
    lumo::redraw
    lumo::show_model
}

proc lumo::add_light {} {
    variable lighttype
    global lightcnt currlight currlighttype
    if {$lightcnt >= 30} {
        lumo::report "lumo has room for 30 lights: no light added"
        return -code error "lumo has room for 30 lights: no light added"
    }
    set lighttype($lightcnt) 0
    incr lightcnt
    set currlight [expr {$lightcnt - 1}]
    set currlighttype 0
    .slab newlightvalue
    .slab changecolor 255 255 255
    lumo::take_colour
    lumo::apply_fields
}

proc lumo::delete_light {} {
    variable lighttype
    global lightcnt currlight currlighttype
    if {$lightcnt <= 0} { return }
    set gone $currlight
    for {set i $gone} {$i < $lightcnt - 1} {incr i} {
        set lighttype($i) $lighttype([expr {$i + 1}])
    }
    set currlight [.slab deletesrc $gone]
    set lighttype($lightcnt) 0
    if {$currlight >= 0} {
        set currlighttype $lighttype($currlight)
        .slab reflectlightinfo
        lumo::take_colour
    }
    lumo::apply_fields
}

proc lumo::set_type {} {
    variable lighttype
    global currlight currlighttype lightcnt
    if {$lightcnt <= 0} { return }
    set lighttype($currlight) $currlighttype
    .slab chgltype
    lumo::apply_fields
}

# The current light's colour, for the colour button.
proc lumo::take_colour {} {
    variable colour
    global currlight lightcnt
    if {$lightcnt <= 0} { return }
    set rgb {}
    foreach c {0 1 2} { lappend rgb [.slab getinten $currlight $c] }
    set colour [format "#%02x%02x%02x" {*}$rgb]
    .panel.light.colour configure -background $colour
    .slab changecolor {*}$rgb
}

proc lumo::choose_colour {} {
    variable colour
    global lightcnt
    if {$lightcnt <= 0} { return }
    set chosen [tk_chooseColor -parent . -initialcolor $colour -title "Light colour"]
    if {$chosen eq ""} { return }
    set colour $chosen
    .panel.light.colour configure -background $colour
    lassign [winfo rgb . $chosen] r g b
    .slab changecolor [expr {$r / 257}] [expr {$g / 257}] [expr {$b / 257}]
    lumo::apply_fields
}

proc lumo::choose_slide {} {
    global slidename
    set file [tk_getOpenFile -parent . -title "Slide image" \
        -filetypes {{"SGI images" {.rgb .sgi}} {"All files" *}}]
    if {$file eq ""} { return }
    set slidename $file
    lumo::apply_fields
}

# The environment light's map: its colour is the map's tint, its arcball
# turns the whole map (zenith and azimuth). A map that cannot be used leaves
# the light as it was and says why.
proc lumo::choose_envmap {} {
    set file [tk_getOpenFile -parent . -title "Environment map" \
        -filetypes {{"Environment maps" {.exr .hdr .png .jpg .jpeg .tif .tiff}} \
                    {"All files" *}}]
    if {$file eq ""} { return }
    if {[catch {lumo::open_envmap_file $file} message]} {
        lumo::file_dialog_failed $message
    }
}

# Gives the current environment light the map FILE and relights. A map that
# cannot be used leaves the light as it was; the reason goes to the status
# line and the console and is the error (no dialog: scripts call this).
proc lumo::open_envmap_file {file} {
    if {[catch {.slab envmap $file} message]} {
        lumo::report $message
        return -code error $message
    }
    lumo::relight
    set lumo::status "Environment map [file tail $file]  |  $lumo::status"
}

# The controls that do something for the scene and the current light: on a
# scene of photographs (no relightable slab) lights change nothing, so the
# light panel and the Lights menu are disabled; with no light in use the
# light's fields are ("No light" in the status line); the slide fields only
# for a slide projector, the map only for an environment light.
proc lumo::show_light_fields {info} {
    global currlighttype lightcnt
    variable kinds
    set relightable [dict get $info relightable]
    set on [expr {$relightable ? "normal" : "disabled"}]
    set light [expr {$relightable && $lightcnt > 0 ? "normal" : "disabled"}]
    set env [expr {$relightable && $lightcnt > 0 && $currlighttype == 2 ? "normal" : "disabled"}]
    set slide [expr {$relightable && $lightcnt > 0 && $currlighttype == 3 ? "normal" : "disabled"}]
    set add [expr {$relightable && $lightcnt < 30 ? "normal" : "disabled"}]
    .panel.env.browse configure -state $env
    foreach {value name} $kinds {
        .panel.light.kind$value configure -state $light
    }
    foreach w {colour radius harcnt} {
        .panel.light.$w configure -state $light
    }
    foreach w {lookat up fov name browse} {
        .panel.slide.$w configure -state $slide
    }
    .lights.list configure -state $on
    .lights.add configure -state $add
    .lights.delete configure -state $light
    .panel.display.preview configure -state $on
    .menu.lights entryconfigure "Add light" -state $add
    foreach entry {"Delete light" "Next light" "Colour..."} {
        .menu.lights entryconfigure $entry -state $light
    }
    .menu.lights entryconfigure "Environment map..." -state $env
    .menu.lights entryconfigure "Mixed lights" -state $on
    catch {.menu.view entryconfigure "Preview: relight only images in view" -state $on}
}

# --- Display ---------------------------------------------------------------

proc lumo::set_mode {} {
    .slab hnddrawmode
    lumo::redraw
    lumo::update_status
}

# A scene whose relightable slabs are all one camera wide or high has nothing
# to blend in centre mode: it opens in corner mode, and the status line says why.
proc lumo::choose_start_mode {} {
    global drawslabmode
    if {[.slab startmode] == 0 && $drawslabmode != 0} {
        set drawslabmode 0
        .slab hnddrawmode
        set lumo::mode_note "one camera across: centre mode needs two"
    }
}

proc lumo::grab {} {
    # grabscr names the file it wrote, whoever else called it before.
    set name [.slab grabscr]
    set lumo::status "Frame written to $name in [pwd]"
}

# A drag in the main view turns it by lumo::turn_rate quarter turns per
# window width (lbdrag turns a quarter turn per width: the pointer's motion
# from the press is scaled down before it is passed on). A light field only
# holds the views near its cameras' directions: at a thirty-second of a
# quarter turn (2.8 degrees) per width, a drag anywhere within the window from
# the start-up view keeps a slab like the demo's whole and inside the frame.
namespace eval lumo {
    variable turn_rate [expr {1.0 / 32.0}]
    variable turn_press {0 0}
}

proc lumo::turn_press {x y} {
    set lumo::turn_press [list $x $y]
    .slab lbdown $x $y
}

proc lumo::turn_drag {x y} {
    variable turn_rate
    lassign $lumo::turn_press px py
    .slab lbdrag [expr {$px + round(($x - $px) * $turn_rate)}] \
        [expr {$py + round(($y - $py) * $turn_rate)}]
}

# --- Files: light rigs, PNG frames, view paths -------------------------------

proc lumo::file_dialog_failed {message} {
    set lumo::status $message
    tk_messageBox -parent . -icon error -title lumo -message $message
}

proc lumo::save_lights {} {
    set file [tk_getSaveFile -parent . -title "Save lights" -defaultextension .json \
        -filetypes {{"Light rigs" {.json}} {"All files" *}}]
    if {$file eq ""} { return }
    if {[catch {.slab savelights $file} message]} {
        lumo::file_dialog_failed $message
        return
    }
    set lumo::status "Lights saved to $file"
}

# Replaces the lights by those of the rig FILE, updates the panel and relights.
# A rig the reader refuses leaves the lights as they are; its one-line message
# goes to the status line and the console and is the error (no dialog).
proc lumo::open_lights_file {file} {
    if {[catch {.slab openlights $file} message]} {
        lumo::report $message
        return -code error $message
    }
    .slab reflectlightinfo
    lumo::redraw
    lumo::show_model
    set lumo::status "Lights from [file tail $file]  |  $lumo::status"
}

proc lumo::open_lights {} {
    set file [tk_getOpenFile -parent . -title "Open lights" \
        -filetypes {{"Light rigs" {.json}} {"All files" *}}]
    if {$file eq ""} { return }
    if {[catch {lumo::open_lights_file $file} message]} {
        lumo::file_dialog_failed $message
    }
}

proc lumo::save_png {} {
    set file [tk_getSaveFile -parent . -title "Save frame as PNG" -defaultextension .png \
        -filetypes {{"PNG images" {.png}}}]
    if {$file eq ""} { return }
    if {[catch {.slab savepng $file} message]} {
        lumo::file_dialog_failed $message
        return
    }
    set lumo::status "Frame written to $file"
}

proc lumo::add_keyframe {} {
    set n [.slab addkeyframe]
    set lumo::status "Keyframe $n added (the view, the mode and the lights)"
}

proc lumo::save_path {} {
    set file [tk_getSaveFile -parent . -title "Save path" -defaultextension .json \
        -filetypes {{"View paths" {.json}} {"All files" *}}]
    if {$file eq ""} { return }
    if {[catch {.slab savepath $file} message]} {
        lumo::file_dialog_failed $message
        return
    }
    set lumo::status "Path saved to $file (lumotool render --path)"
}

# Writes the current matrices to transfrm.txt and returns once the file is
# written: the dump is made by a redraw, so the main view is drawn at once.
proc lumo::dump_transform {} {
    .slab rectran
    .slab render
    if {![file exists transfrm.txt] || ![file writable transfrm.txt]} {
        set message "cannot write transfrm.txt in [pwd]"
        lumo::report $message
        return -code error $message
    }
    set lumo::status "Transformation written to transfrm.txt in [pwd]"
}

# The mouse wheel zooms as a short middle-button drag from the window centre.
proc lumo::wheel_zoom {direction} {
    set cx [expr {[winfo width .slab] / 2 + 1}]
    set cy [expr {[winfo height .slab] / 2}]
    set step 12
    if {$direction > 0} {
        .slab mbdown $cx $cy
        .slab mbdrag [expr {$cx + $step}] $cy
    } else {
        .slab mbdown [expr {$cx + $step}] $cy
        .slab mbdrag $cx $cy
    }
    .slab mbup
}

proc lumo::about {} {
    tk_messageBox -parent . -title "About lumo" -message "lumo" -detail \
        "Relights a captured light slab under up to 30 lights.\n\nMain view: drag to turn, middle-drag or wheel to zoom.\nLight view: drag to turn the current light; hold Shift, Control or both before the drag to turn it about one axis."
}

# --- Looking closely: pan, magnify, actual pixels, reset ----------------------

# Keys typed into a text field or a list belong to it, not to the view.
proc lumo::view_has_keys {} {
    set w [focus]
    if {$w eq ""} { return 1 }
    return [expr {[winfo class $w] ni {Entry TEntry Spinbox TSpinbox Listbox Text}}]
}

# Moves the picture by a tenth of the view (dx, dy in -1..1: right, down).
proc lumo::pan_step {dx dy} {
    .slab pan [expr {$dx * [winfo width .slab] / 10}] [expr {$dy * [winfo height .slab] / 10}]
}

proc lumo::pan_press {x y} {
    variable pan_at [list $x $y]
}

proc lumo::pan_drag {x y} {
    variable pan_at
    lassign $pan_at x0 y0
    .slab pan [expr {$x - $x0}] [expr {$y - $y0}]
    set pan_at [list $x $y]
}

proc lumo::actual_pixels {} {
    set scale [.slab actualpixels]
    set lumo::status [format "Actual pixels (magnified %.3g times)" $scale]
}

proc lumo::magnify {factor} {
    set scale [.slab magnify $factor]
    set lumo::status [format "Magnified %.3g times" $scale]
}

proc lumo::reset_view {} {
    .slab resetview
    lumo::update_status
}

# View menu entries and keys for inspecting the picture.
proc lumo::build_inspect_menu {} {
    .menu.view add separator
    .menu.view add command -label "Actual pixels" -accelerator Ctrl+0 \
        -command lumo::actual_pixels
    .menu.view add command -label "Magnify" -accelerator + -command {lumo::magnify 2}
    .menu.view add command -label "Reduce" -accelerator - -command {lumo::magnify 0.5}
    .menu.view add command -label "Pan left" -accelerator Left -command {lumo::pan_step -1 0}
    .menu.view add command -label "Pan right" -accelerator Right -command {lumo::pan_step 1 0}
    .menu.view add command -label "Pan up" -accelerator Up -command {lumo::pan_step 0 -1}
    .menu.view add command -label "Pan down" -accelerator Down -command {lumo::pan_step 0 1}
    .menu.view add command -label "Reset view" -accelerator Home -command lumo::reset_view
}

# Shift-drag in the main view pans; the keys of the menu above.
proc lumo::bind_inspect_keys {} {
    bind .slab <Shift-ButtonPress-1> {lumo::pan_press %x %y}
    bind .slab <Shift-B1-Motion> {lumo::pan_drag %x %y}
    bind . <Control-Key-0> lumo::actual_pixels
    set keys {
        plus {lumo::magnify 2} equal {lumo::magnify 2} KP_Add {lumo::magnify 2}
        minus {lumo::magnify 0.5} KP_Subtract {lumo::magnify 0.5}
        Left {lumo::pan_step -1 0} Right {lumo::pan_step 1 0}
        Up {lumo::pan_step 0 -1} Down {lumo::pan_step 0 1}
        Home lumo::reset_view
    }
    foreach {key command} $keys {
        bind . <Key-$key> [list if {[lumo::view_has_keys]} $command]
    }
}

# --- Window ----------------------------------------------------------------

# The menu bar: File, View, Lights and Help.
proc lumo::build_menus {} {
    menu .menu
    . configure -menu .menu
    .menu add cascade -label File -underline 0 -menu [menu .menu.file]
    .menu.file add command -label "Grab frame" -accelerator Ctrl+G -command lumo::grab
    .menu.file add command -label "Save frame as PNG..." -command lumo::save_png
    .menu.file add command -label "Write transformation" -accelerator Ctrl+T \
        -command lumo::dump_transform
    .menu.file add separator
    .menu.file add command -label "Open lights..." -command lumo::open_lights
    .menu.file add command -label "Save lights..." -command lumo::save_lights
    .menu.file add separator
    .menu.file add command -label "Add keyframe" -command lumo::add_keyframe
    .menu.file add command -label "Save path..." -command lumo::save_path
    .menu.file add separator
    .menu.file add command -label Quit -accelerator Ctrl+Q -command exit
    .menu add cascade -label View -underline 0 -menu [menu .menu.view]
    .menu.view add radiobutton -label "Corner mode (nearest camera)" -accelerator Ctrl+1 \
        -variable drawslabmode -value 0 -command lumo::set_mode
    .menu.view add radiobutton -label "Centre mode (blended)" -accelerator Ctrl+2 \
        -variable drawslabmode -value 1 -command lumo::set_mode
    .menu.view add separator
    .menu.view add checkbutton -label "Skip cells out of view (corner)" \
        -variable skipconstpoly -command lumo::redraw
    .menu.view add checkbutton -label "Outline skipped cells (corner)" \
        -variable constgridenable -command lumo::redraw
    .menu.view add checkbutton -label "Skip triangles out of view (centre)" \
        -variable skipbilinpoly -command lumo::redraw
    .menu.view add checkbutton -label "Outline skipped triangles (centre)" \
        -variable bilingridenable -command lumo::redraw
    .menu.view add separator
    .menu.view add checkbutton -label "Preview: relight only images in view" \
        -variable preview
    .menu.view add checkbutton -label "Frame rate on the console" -accelerator Ctrl+F \
        -variable show_fps -command {.slab clear_fps; lumo::redraw}
    .menu add cascade -label Lights -underline 0 -menu [menu .menu.lights]
    .menu.lights add command -label "Add light" -accelerator Ctrl+L \
        -command {catch lumo::add_light}
    .menu.lights add command -label "Delete light" -accelerator Ctrl+D \
        -command lumo::delete_light
    .menu.lights add command -label "Next light" -accelerator Ctrl+N -command {
        if {$lightcnt > 0} { lumo::select_light [expr {($currlight + 1) % $lightcnt}] }
    }
    .menu.lights add command -label "Colour..." -command lumo::choose_colour
    .menu.lights add command -label "Environment map..." -command {
        if {$lightcnt > 0 && $currlighttype == 2} { lumo::choose_envmap }
    }
    .menu.lights add separator
    .menu.lights add checkbutton -label "Mixed lights" -variable mixedlights \
        -command lumo::set_mixed_lights
    .menu add cascade -label Help -underline 0 -menu [menu .menu.help]
    .menu.help add command -label "About lumo" -accelerator F1 -command lumo::about
}

# The two views: the main view (.slab) and the light-editing view (.light).
proc lumo::build_views {} {
    ttk::frame .views
    togl .slab -ident slabview -width 512 -height 512 -rgba true -double true -depth true
    togl .light -ident lightview -width 256 -height 256 -rgba true -double true -depth true
    # The main view keeps its square size: its projection has an aspect of 1.
    grid .slab -in .views -row 0 -column 0 -rowspan 2 -sticky n
    grid .light -in .views -row 0 -column 1 -sticky n
    ttk::label .views.hint -text "Drag: turn the current light\nShift / Ctrl / both: one axis" \
        -justify center
    grid .views.hint -row 1 -column 1 -sticky n -pady 4
    grid columnconfigure .views 0 -weight 1
    grid rowconfigure .views 1 -weight 1
}

# The list of lights, with Add and Delete.
proc lumo::build_light_list {} {
    ttk::labelframe .lights -text Lights -padding 4
    listbox .lights.list -height 5 -exportselection 0 -activestyle none
    ttk::button .lights.add -text Add -command {catch lumo::add_light}
    ttk::button .lights.delete -text Delete -command lumo::delete_light
    grid .lights.list -columnspan 2 -sticky nsew
    grid .lights.add .lights.delete -sticky ew
    bind .lights.list <<ListboxSelect>> {
        set sel [.lights.list curselection]
        if {$sel ne ""} { lumo::select_light $sel }
    }
}

# The current light's kind, colour, distance and harmonic terms.
proc lumo::build_light_fields {} {
    ttk::labelframe .panel.light -text "Current light" -padding 4
    set row 0
    foreach {value name} $lumo::kinds {
        ttk::radiobutton .panel.light.kind$value -text $name -variable currlighttype \
            -value $value -command lumo::set_type
        grid .panel.light.kind$value -row $row -column 0 -columnspan 2 -sticky w
        incr row
    }
    ttk::label .panel.light.colourlabel -text Colour
    button .panel.light.colour -width 4 -background white -command lumo::choose_colour
    grid .panel.light.colourlabel .panel.light.colour -row $row -sticky w
    incr row
    ttk::label .panel.light.radiuslabel -text Distance
    ttk::entry .panel.light.radius -textvariable radius_s -width 10
    grid .panel.light.radiuslabel .panel.light.radius -row $row -sticky w
    incr row
    ttk::label .panel.light.harlabel -text "Harmonic terms"
    ttk::spinbox .panel.light.harcnt -textvariable harcnt_s -from 0 -to 400 -width 6 \
        -command lumo::apply_fields
    grid .panel.light.harlabel .panel.light.harcnt -row $row -sticky w
    bind .panel.light.radius <Return> lumo::apply_fields
    bind .panel.light.harcnt <Return> lumo::apply_fields
}

# A slide projector's aim, up vector, field of view and slide.
proc lumo::build_slide_fields {} {
    ttk::labelframe .panel.slide -text "Slide projector" -padding 4
    ttk::label .panel.slide.lookatlabel -text "Aims at x,y,z"
    ttk::entry .panel.slide.lookat -textvariable slidelookat_s -width 14
    ttk::label .panel.slide.uplabel -text "Up x,y,z"
    ttk::entry .panel.slide.up -textvariable slideup_s -width 14
    ttk::label .panel.slide.fovlabel -text "Field h,v (degrees)"
    ttk::entry .panel.slide.fov -textvariable slidefov_s -width 14
    ttk::label .panel.slide.namelabel -text "Slide"
    ttk::entry .panel.slide.name -textvariable slidename -width 14
    ttk::button .panel.slide.browse -text "Choose..." -command lumo::choose_slide
    foreach w {lookat up fov name} {
        grid .panel.slide.${w}label .panel.slide.$w -sticky w
        bind .panel.slide.$w <Return> lumo::apply_fields
    }
    grid .panel.slide.browse -column 1 -sticky w
}

# An environment light's map.
proc lumo::build_env_fields {} {
    ttk::labelframe .panel.env -text "Environment" -padding 4
    ttk::label .panel.env.namelabel -text "Map"
    ttk::entry .panel.env.name -textvariable lumo::envname -width 14 -state readonly
    ttk::button .panel.env.browse -text "Choose..." -command lumo::choose_envmap
    ttk::label .panel.env.hint -text "Colour tints it; the arcball turns it."
    grid .panel.env.namelabel .panel.env.name -sticky w
    grid .panel.env.browse -column 1 -sticky w
    grid .panel.env.hint -columnspan 2 -sticky w
}

# The drawing mode, preview, grabs and the transformation dump.
proc lumo::build_display_fields {} {
    ttk::labelframe .panel.display -text Display -padding 4
    ttk::radiobutton .panel.display.corner -text "Corner mode" -variable drawslabmode \
        -value 0 -command lumo::set_mode
    ttk::radiobutton .panel.display.centre -text "Centre mode" -variable drawslabmode \
        -value 1 -command lumo::set_mode
    ttk::checkbutton .panel.display.preview -text "Preview" -variable preview
    ttk::button .panel.display.grab -text "Grab frame" -command lumo::grab
    ttk::button .panel.display.dump -text "Write transformation" -command lumo::dump_transform
    grid .panel.display.corner -sticky w
    grid .panel.display.centre -sticky w
    grid .panel.display.preview -sticky w
    grid .panel.display.grab -sticky ew
    grid .panel.display.dump -sticky ew
}

# The panel on the right of the views.
proc lumo::build_panel {} {
    ttk::frame .panel -padding 6
    lumo::build_light_list
    lumo::build_light_fields
    lumo::build_slide_fields
    lumo::build_env_fields
    lumo::build_display_fields

    grid .lights -in .panel -sticky new
    grid .panel.light -sticky new -pady 4
    grid .panel.slide -sticky new
    grid .panel.env -sticky new -pady 4
    grid .panel.display -sticky new -pady 4
}

# The status line, and the views, the panel and the status line in the window.
proc lumo::build_layout {} {
    ttk::label .statusline -textvariable lumo::status -relief sunken -anchor w -padding 2

    grid .views -row 0 -column 0 -sticky nsew
    grid .panel -row 0 -column 1 -sticky ns
    grid .statusline -row 1 -column 0 -columnspan 2 -sticky ew
    grid columnconfigure . 0 -weight 1
    grid rowconfigure . 0 -weight 1
}

# Main view: turn and zoom.
proc lumo::bind_main_view {} {
    bind .slab <ButtonPress-1> {lumo::turn_press %x %y}
    bind .slab <B1-Motion> {lumo::turn_drag %x %y}
    foreach b {2 3} {
        bind .slab <ButtonPress-$b> {.slab mbdown %x %y}
        bind .slab <B$b-Motion> {.slab mbdrag %x %y}
        bind .slab <ButtonRelease-$b> {.slab mbup}
    }
    bind .slab <MouseWheel> {lumo::wheel_zoom %D}
    bind .slab <Button-4> {lumo::wheel_zoom 1}
    bind .slab <Button-5> {lumo::wheel_zoom -1}
}

# Light view: the arcball. Moving with Shift, Control or both (no button)
# picks the axis set of the next drag.
proc lumo::bind_light_view {} {
    bind .light <ButtonPress-1> {.light ab_lbdown %x %y}
    bind .light <ButtonRelease-1> {.light ab_lbup; lumo::apply_fields}
    bind .light <B1-Motion> {.light ab_lbdrag %x %y; lumo::apply_fields}
    bind .light <Shift-B1-Motion> {.light ab_slbdrag %x %y; lumo::apply_fields}
    bind .light <Control-B1-Motion> {.light ab_clbdrag %x %y; lumo::apply_fields}
    bind .light <Control-Shift-B1-Motion> {.light ab_cslbdrag %x %y; lumo::apply_fields}
    bind .light <Motion> {.light ab_lbdrag %x %y}
    bind .light <Shift-Motion> {.light ab_slbdrag %x %y}
    bind .light <Control-Motion> {.light ab_clbdrag %x %y}
    bind .light <Control-Shift-Motion> {.light ab_cslbdrag %x %y}
}

# Keyboard.
proc lumo::bind_keys {} {
    bind . <Control-g> lumo::grab
    bind . <Control-t> lumo::dump_transform
    bind . <Control-q> exit
    bind . <Control-l> {catch lumo::add_light}
    bind . <Control-d> lumo::delete_light
    bind . <Control-n> {.menu.lights invoke "Next light"}
    bind . <Control-Key-1> {set drawslabmode 0; lumo::set_mode}
    bind . <Control-Key-2> {set drawslabmode 1; lumo::set_mode}
    bind . <Control-f> {.menu.view invoke "Frame rate on the console"}
    bind . <F1> lumo::about
}

proc lumo::build {} {
    wm title . "lumo"
    option add *tearOff 0
    lumo::build_menus
    lumo::build_views
    lumo::build_panel
    lumo::build_layout
    lumo::bind_main_view
    lumo::bind_light_view
    lumo::bind_keys
    lumo::build_inspect_menu
    lumo::bind_inspect_keys
    lumo::choose_start_mode
    lumo::show_model
    foreach view {.slab .light} {
        trace add execution $view leave lumo::after_widget_command
    }
}

if {[catch {lumo::build} message]} {
    puts stderr "lumo.tcl: $message"
    puts stderr $::errorInfo
    exit 1
}
