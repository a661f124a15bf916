#!/usr/bin/env python3
"""Generates Parlune's artwork (SVG) into res/images/.

Run from anywhere: python3 scripts/make_artwork.py
The SVGs are committed; rerun this script after changing a drawing so that the
pictures stay consistent with each other and with the Recorder window's layout.

Pure white (#ffffff) is the buttons' mask colour and turns transparent when a
button is drawn, so every light area that must stay visible uses NEAR_WHITE.
"""

import math
from xml.etree import ElementTree
import os
import sys

OUT_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "images")

# Palette, built around the display panel's light blue.
PANEL = "#d6eaff"          # display panel, also the fields' background
PANEL_LINE = "#b4d2f2"     # panel outline and dividers
PANEL_DEEP = "#c4dffb"     # subtle panel shading
NEAR_WHITE = "#fdfeff"     # visible white (pure white is the mask colour)
INK = "#34495e"            # glyphs and titles
INK_SOFT = "#5d7186"
ACCENT = "#2b7de1"         # focus, play, links
ACCENT_DARK = "#1d5fb3"
ACCENT_TINT = "#e3effc"    # hover fill
RED = "#e5393b"            # record
RED_DARK = "#b92528"
GREEN = "#3fbf5a"
AMBER = "#e8a317"
GREY_GLYPH = "#b3bcc6"     # disabled glyphs
GREY_LINE = "#d5dbe1"      # disabled outlines
GREY_FILL = "#f1f3f5"
BAND = "#ebebeb"           # lower half of the window
BAND_DARK = "#d2d2d2"      # Tools / Info block
BODY = "#f6f9fc"           # window body behind the transport bar

FONT = "DejaVu Sans"

# Layout of the Recorder window that the background must match (pixels).
WIN_W, WIN_H = 470, 618
HEADER_H = 52
PANEL_RECT = (8, 60, 454, 226)            # x, y, w, h
SCREEN_RECT = (16, 68, 136, 68)           # the clock's frame inside the panel
METER_RECT = (206, 74, 201, 17)           # level meter track
BAR_RECT = (206, 102, 201, 10)            # position bar track
DIVIDER_Y = 146
TRANSPORT_RECT = (8, 290, 454, 50)
TRANSPORT_SEPARATOR_X = 154
LOWER_Y = 346
LIST_RECT = (8, 372, 454, 184)
TOOL_BAND_Y = 562
TOOL_BLOCK = (380, 566, 86, 48)


# ---------------------------------------------------------------- helpers

def svg(width, height, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
            f'width="{width}" height="{height}" viewBox="0 0 {width} {height}">\n{body}\n</svg>\n')


def write(name, text):
    ElementTree.fromstring(text)     # refuses malformed drawings, e.g. a repeated attribute
    with open(os.path.join(OUT_DIR, name + ".svg"), "w", encoding="utf-8") as f:
        f.write(text)


def place(glyph, x, y, size):
    """A 24x24 glyph drawn at (x, y) scaled to size pixels."""
    s = size / 24.0
    return f'<g transform="translate({x:.2f},{y:.2f}) scale({s:.4f})">{glyph}</g>'


def f2(v):
    return f"{v:.2f}".rstrip("0").rstrip(".")


# Colour sets for one glyph in the four button states.
def pal(state):
    if state == "X":
        return {"ink": GREY_GLYPH, "accent": GREY_GLYPH, "red": GREY_GLYPH, "green": GREY_GLYPH,
                "amber": GREY_GLYPH, "fill": GREY_FILL, "light": GREY_FILL}
    if state == "D":
        return {"ink": ACCENT_DARK, "accent": ACCENT_DARK, "red": RED_DARK, "green": GREEN,
                "amber": AMBER, "fill": NEAR_WHITE, "light": "#cfe3fa"}
    return {"ink": INK, "accent": ACCENT, "red": RED, "green": GREEN, "amber": AMBER,
            "fill": NEAR_WHITE, "light": "#dcebfb"}


def stroke(color, width=2.0, fill="none"):
    return (f'fill="{fill}" stroke="{color}" stroke-width="{f2(width)}" '
            f'stroke-linecap="round" stroke-linejoin="round"')


# ---------------------------------------------------------------- 24x24 glyphs

def g_search(p):
    return (f'<circle cx="10" cy="10" r="6" {stroke(p["ink"], 2.2, p["light"])}/>'
            f'<path d="M14.6 14.6 L20 20" {stroke(p["accent"], 3)}/>')


def g_trash(p):
    return (f'<path d="M6.5 7.5 L7.6 20 Q7.7 21 8.7 21 L15.3 21 Q16.3 21 16.4 20 L17.5 7.5 Z" '
            f'{stroke(p["ink"], 1.8, p["light"])}/>'
            f'<path d="M4.5 7 L19.5 7 M9.5 6.8 L9.5 4.5 L14.5 4.5 L14.5 6.8" {stroke(p["ink"], 1.8)}/>'
            f'<path d="M10 10.5 L10 17.5 M14 10.5 L14 17.5" {stroke(p["red"], 1.6)}/>')


def g_pencil(p):
    return (f'<path d="M4 20 L5 15.5 L15.5 5 L19 8.5 L8.5 19 Z" {stroke(p["ink"], 1.8, p["light"])}/>'
            f'<path d="M13.3 7.2 L16.8 10.7" {stroke(p["ink"], 1.6)}/>'
            f'<path d="M4 20 L5 15.5 L8.5 19 Z" {stroke(p["ink"], 1.2, p["accent"])}/>')


def g_envelope(p):
    return (f'<rect x="3" y="6" width="18" height="13" rx="2" {stroke(p["ink"], 1.8, p["light"])}/>'
            f'<path d="M3.8 7.2 L12 13.2 L20.2 7.2" {stroke(p["accent"], 1.8)}/>')


def g_lock(p):
    return (f'<path d="M8 11 L8 8 A4 4 0 0 1 16 8 L16 11" {stroke(p["ink"], 2)}/>'
            f'<rect x="5" y="10.5" width="14" height="10.5" rx="2.2" {stroke(p["ink"], 1.6, p["amber"])}/>'
            f'<circle cx="12" cy="15" r="1.6" fill="{p["fill"]}"/>'
            f'<path d="M12 15.5 L12 18" {stroke(p["fill"], 1.6)}/>')


def g_tools(p):
    # A screwdriver under an open-ended wrench, crossing.
    cx, cy, r = 16.2, 7.8, 3.4
    a0, a1 = math.radians(-15), math.radians(255)
    head = (f"M{f2(cx + r * math.cos(a0))} {f2(cy + r * math.sin(a0))} "
            f"A{r} {r} 0 1 1 {f2(cx + r * math.cos(a1))} {f2(cy + r * math.sin(a1))}")
    return (f'<path d="M5 5 L13 13" {stroke(p["ink"], 1.8)}/>'
            f'<path d="M4.2 4.2 L6 6" {stroke(p["ink"], 2.6)}/>'
            f'<path d="M14.2 14.2 L19.2 19.2" {stroke(p["accent"], 4.4)}/>'
            f'<path d="M5 19 L13.6 10.4" {stroke(p["ink"], 3.2)}/>'
            f'<path d="{head}" {stroke(p["ink"], 3)}/>')


def g_info(p):
    return (f'<circle cx="12" cy="12" r="9" {stroke(p["accent"], 1.8, p["light"])}/>'
            f'<circle cx="12" cy="7.8" r="1.3" fill="{p["ink"]}"/>'
            f'<path d="M12 11 L12 16.8" {stroke(p["ink"], 2.2)}/>')


def g_help(p):
    return (f'<circle cx="12" cy="12" r="9" {stroke(p["accent"], 1.8, p["light"])}/>'
            f'<path d="M9.3 9.4 A2.8 2.8 0 1 1 13.2 12 C12.4 12.4 12 13 12 13.8" {stroke(p["ink"], 2)}/>'
            f'<circle cx="12" cy="17" r="1.25" fill="{p["ink"]}"/>')


def gear_path(cx, cy, r_out, r_in, teeth):
    pts = []
    step = 2 * math.pi / teeth
    for i in range(teeth):
        a = i * step - math.pi / 2
        for da, r in ((-0.30, r_in), (-0.17, r_out), (0.17, r_out), (0.30, r_in)):
            pts.append((cx + r * math.cos(a + da * step * 1.6), cy + r * math.sin(a + da * step * 1.6)))
    d = "M" + " L".join(f"{f2(x)} {f2(y)}" for x, y in pts) + " Z"
    return d


def g_gear(p):
    d = gear_path(12, 12, 10, 7.6, 8)
    return (f'<path d="{d}" fill="{p["light"]}" stroke="{p["ink"]}" stroke-width="1.6" stroke-linejoin="round"/>'
            f'<circle cx="12" cy="12" r="3" {stroke(p["accent"], 1.8, p["fill"])}/>')


def g_floppy(p):
    return (f'<path d="M5 4 L16.5 4 L20 7.5 L20 19 Q20 20 19 20 L5 20 Q4 20 4 19 L4 5 Q4 4 5 4 Z" '
            f'fill="{p["accent"]}" stroke="{p["ink"]}" stroke-width="1.4" stroke-linejoin="round"/>'
            f'<rect x="7.5" y="4.5" width="8" height="5" rx="0.6" fill="{p["fill"]}"/>'
            f'<rect x="12.4" y="5.4" width="2" height="3.2" fill="{p["ink"]}"/>'
            f'<rect x="7" y="13" width="10" height="6.3" rx="0.8" fill="{p["fill"]}"/>'
            f'<path d="M9 15.3 L15 15.3 M9 17.3 L13.5 17.3" {stroke(p["light"], 1)}/>')


def g_note(p):
    return (f'<path d="M6 3.5 L14.5 3.5 L19 8 L19 20.5 L6 20.5 Z" {stroke(p["ink"], 1.6, p["fill"])}/>'
            f'<path d="M14.5 3.5 L14.5 8 L19 8" {stroke(p["ink"], 1.4)}/>'
            f'<path d="M9 11.5 L16 11.5 M9 14.5 L16 14.5 M9 17.5 L13.5 17.5" {stroke(p["accent"], 1.5)}/>')


def g_speaker(p):
    return (f'<path d="M4 9.5 L7.5 9.5 L12 5.5 L12 18.5 L7.5 14.5 L4 14.5 Z" fill="{p["accent"]}" '
            f'stroke="{p["ink"]}" stroke-width="1.4" stroke-linejoin="round"/>'
            f'<path d="M15 9 A4 4 0 0 1 15 15 M17.5 6.5 A7.5 7.5 0 0 1 17.5 17.5" {stroke(p["accent"], 1.8)}/>')


def g_mic(p):
    return (f'<rect x="9" y="3.5" width="6" height="11" rx="3" {stroke(p["ink"], 1.4, p["red"])}/>'
            f'<path d="M6 11.5 A6 6 0 0 0 18 11.5 M12 17.5 L12 20.5 M9 20.5 L15 20.5" {stroke(p["ink"], 1.6)}/>')


def g_chevron(p, up):
    d = "M7 14 L12 9 L17 14" if up else "M7 10 L12 15 L17 10"
    return (f'<circle cx="12" cy="12" r="9.5" {stroke(PANEL_LINE, 1.2, p["fill"])}/>'
            f'<path d="{d}" {stroke(p["ink"], 2.2)}/>')


# ---------------------------------------------------------------- transport buttons (40x40)

T = 40


def transport_frame(state, lit=None):
    """The round base of a transport button; `lit` is the fill colour of an active look."""
    c = T / 2
    if lit:
        return (f'<circle cx="{c}" cy="{c}" r="18.5" fill="{lit}" stroke="{lit}" stroke-width="1"/>'
                f'<circle cx="{c}" cy="{c}" r="16.5" fill="none" stroke="{NEAR_WHITE}" '
                f'stroke-opacity="0.35" stroke-width="1"/>')
    if state == "X":
        return f'<circle cx="{c}" cy="{c}" r="18" fill="{GREY_FILL}" stroke="{GREY_LINE}" stroke-width="1.2"/>'
    if state == "D":
        return f'<circle cx="{c}" cy="{c}" r="18" fill="{ACCENT_TINT}" stroke="{ACCENT}" stroke-width="1.5"/>'
    base = f'<circle cx="{c}" cy="{c}" r="18" fill="{NEAR_WHITE}" stroke="#c3d3e4" stroke-width="1.2"/>'
    if state == "F":
        base += f'<circle cx="{c}" cy="{c}" r="19.2" fill="none" stroke="{ACCENT}" stroke-width="1.4"/>'
    return base


def t_record(p):
    return f'<circle cx="20" cy="20" r="7.5" fill="{p["red"]}"/>'


def t_auto(p, width=2.0):
    # A record dot inside a circular arrow: recording that starts by itself.
    r = 10.5
    a_start, a_end = math.radians(235), math.radians(-55)
    x0, y0 = 20 + r * math.cos(a_start), 20 + r * math.sin(a_start)
    x1, y1 = 20 + r * math.cos(a_end), 20 + r * math.sin(a_end)
    # The arc runs clockwise on screen from the upper left, round the bottom, to the upper right;
    # the arrow head sits at its end and points along the travel.
    tx, ty = -math.sin(a_end), math.cos(a_end)
    tx, ty = -tx, -ty
    nx, ny = math.cos(a_end), math.sin(a_end)
    bx, by = x1 - tx * 1.5, y1 - ty * 1.5
    head = (f"M{f2(bx + nx * 3.4)} {f2(by + ny * 3.4)} L{f2(x1 + tx * 3.2)} {f2(y1 + ty * 3.2)} "
            f"L{f2(bx - nx * 3.4)} {f2(by - ny * 3.4)} Z")
    return (f'<path d="M{f2(x0)} {f2(y0)} A{r} {r} 0 1 0 {f2(bx)} {f2(by)}" {stroke(p["ink"], width)}/>'
            f'<path d="{head}" fill="{p["ink"]}" stroke="{p["ink"]}" stroke-width="1" stroke-linejoin="round"/>'
            f'<circle cx="20" cy="20" r="5" fill="{p["red"]}"/>')


def t_stop(color):
    return f'<rect x="13.5" y="13.5" width="13" height="13" rx="2.5" fill="{color}"/>'


def t_play(color):
    return f'<path d="M16 12.5 L28 20 L16 27.5 Z" fill="{color}" stroke="{color}" stroke-width="1.6" stroke-linejoin="round"/>'


def t_pause(color):
    return (f'<rect x="14" y="13" width="4.2" height="14" rx="1.3" fill="{color}"/>'
            f'<rect x="21.8" y="13" width="4.2" height="14" rx="1.3" fill="{color}"/>')


def t_double(color, forward):
    if forward:
        d = "M11.5 14 L19.5 20 L11.5 26 Z M20.5 14 L28.5 20 L20.5 26 Z"
    else:
        d = "M28.5 14 L20.5 20 L28.5 26 Z M19.5 14 L11.5 20 L19.5 26 Z"
    return f'<path d="{d}" fill="{color}" stroke="{color}" stroke-width="1.4" stroke-linejoin="round"/>'


TRANSPORT = {
    "REGISTRA": lambda p: t_record(p),
    "REG_AUTO": lambda p: t_auto(p),
    "STOPREC": lambda p: t_stop(p["red"]),
    "PLAYREC": lambda p: t_play(p["accent"]),
    "STOPPLAY": lambda p: t_stop(p["ink"]),
    "PAUSA": lambda p: t_pause(p["ink"]),
    "AVANTIVELOCE": lambda p: t_double(p["ink"], True),
    "INDIETROVELOCE": lambda p: t_double(p["ink"], False),
}


def make_transport():
    for name, glyph in TRANSPORT.items():
        for state in "UDFX":
            write(name + state, svg(T, T, transport_frame(state) + glyph(pal(state))))
    # Lit looks of an active Record, Play and auto-recording.
    lit_p = {"ink": NEAR_WHITE, "accent": NEAR_WHITE, "red": NEAR_WHITE}
    write("REGISTRADD", svg(T, T, transport_frame("U", RED) +
                            f'<circle cx="20" cy="20" r="7.5" fill="{NEAR_WHITE}"/>'
                            f'<circle cx="20" cy="20" r="4.5" fill="{RED_DARK}"/>'))
    write("PLAYRECDD", svg(T, T, transport_frame("U", ACCENT) + t_play(lit_p["accent"])))
    auto_lit = dict(pal("U"), ink=NEAR_WHITE, red=NEAR_WHITE)
    write("230", svg(T, T, transport_frame("U", RED) + t_auto(auto_lit)))


# ---------------------------------------------------------------- labelled tool buttons

def chip(w, h, state, radius=5, hover_fill=ACCENT_TINT, hover_line="#8db9ea"):
    """The rounded plate behind a tool button's picture and label."""
    if state == "D" and hover_line is None:
        # Buttons with a hover frame get a plain tile; the frame draws its edges.
        return f'<rect x="0" y="0" width="{w}" height="{h}" rx="{radius}" fill="{hover_fill}"/>'
    if state == "D":
        return (f'<rect x="0.75" y="0.75" width="{w - 1.5}" height="{h - 1.5}" rx="{radius}" '
                f'fill="{hover_fill}" stroke="{hover_line}" stroke-width="1"/>')
    if state == "F":
        return (f'<rect x="0.75" y="0.75" width="{w - 1.5}" height="{h - 1.5}" rx="{radius}" '
                f'fill="none" stroke="{ACCENT}" stroke-width="1" stroke-dasharray="2,2"/>')
    return ""


LIST_BUTTON = (73, 25)      # fitted with border 1 to 74 x 26; the label starts at x 24
LIST_BUTTONS = {"CERCA": g_search, "ELIMINA": g_trash, "MODIFICA": g_pencil,
                "SEND": g_envelope, "PROTEGGI": g_lock}

TOP_BUTTON = (55, 39)       # Help and Options: picture above a 12-pixel label band
TOP_BUTTONS = {"HELP": g_help, "IMPOSTAZIONI": g_gear}

MENU_BUTTON = (40, 40)      # Tools and Info on the darker block: label from y 25
MENU_BUTTONS = {"SETTINGS": g_tools, "INFO": g_info}


def make_tool_buttons():
    w, h = LIST_BUTTON
    for name, glyph in LIST_BUTTONS.items():
        for state in "UDFX":
            body = chip(w, h, state) + place(glyph(pal(state)), 3, (h - 18) / 2, 18)
            write(name + state, svg(w, h, body))
    w, h = TOP_BUTTON
    for name, glyph in TOP_BUTTONS.items():
        for state in "UDFX":
            body = chip(w, h, state, 1.5, hover_line=None) + place(glyph(pal(state)), (w - 22) / 2, 3, 22)
            write(name + state, svg(w, h, body))
    w, h = MENU_BUTTON
    for name, glyph in MENU_BUTTONS.items():
        for state in "UDFX":
            body = chip(w, h, state, 6, "#e6edf5", "#9fb6cf") + place(glyph(pal(state)), (w - 22) / 2, 2, 22)
            write(name + state, svg(w, h, body))


def make_small_buttons():
    # Save information: 22 x 22, fitted with border 8 and a hover frame.
    for state in "UDFX":
        p = pal(state)
        body = (chip(22, 22, state) if state == "F" else "") + place(g_floppy(p), 2, 2, 18)
        write("SALVA" + state, svg(22, 22, body))
    # Modify information: a small pencil beside the name field.
    for state in "UDFX":
        p = pal(state)
        body = chip(22, 22, state, 4) + place(g_pencil(p), 2, 2, 18)
        write("MODIFICAINFO" + state, svg(22, 22, body))
    p = pal("U")
    write("NOTEDISPLAY", svg(21, 21, place(g_note(p), 1, 1, 19)))
    write("UP", svg(23, 23, place(g_chevron(p, True), 0, 0, 23)))
    write("DOWN", svg(23, 23, place(g_chevron(p, False), 0, 0, 23)))
    # Status icons on the panel: playing (144) and armed for auto-recording (143).
    write("144", svg(20, 20, place(g_speaker(p), 0, 0, 20)))
    write("143", svg(20, 20, place(g_mic(p), 0, 0, 20)))
    # Armed but deaf: the microphone greyed and struck through while its input is lost.
    slash = f'<path d="M3.5 3.5 L16.5 16.5" {stroke(p["red"], 2.2)}/>'
    write("MICLOST", svg(20, 20, place(g_mic(pal("X")), 0, 0, 20) + slash))


# ---------------------------------------------------------------- row images (18x18)

def make_row_images():
    # Ordinary recording: a sound wave on a blue tile.
    bars = [(4.5, 7, 11), (7.5, 4.5, 13.5), (10.5, 6, 12), (13.5, 8, 10)]
    wave = "".join(f'<path d="M{x} {a} L{x} {b}" {stroke(NEAR_WHITE, 1.8)}/>' for x, a, b in bars)
    write("296", svg(18, 18, f'<rect x="1.5" y="1.5" width="15" height="15" rx="3.5" fill="{ACCENT}"/>' + wave))
    # Playing: a green disc with a play triangle.
    write("297", svg(18, 18, f'<circle cx="9" cy="9" r="7.5" fill="{GREEN}"/>'
                             f'<path d="M7.2 5.6 L12.6 9 L7.2 12.4 Z" fill="{NEAR_WHITE}" '
                             f'stroke="{NEAR_WHITE}" stroke-width="0.8" stroke-linejoin="round"/>'))
    # Being recorded: a red dot in a red ring.
    write("298", svg(18, 18, f'<circle cx="9" cy="9" r="7.3" fill="{NEAR_WHITE}" stroke="{RED}" stroke-width="1.6"/>'
                             f'<circle cx="9" cy="9" r="4.2" fill="{RED}"/>'))
    # Protected: a padlock.
    write("332", svg(18, 18, place(g_lock(pal("U")), 0, 0, 18)))


# ---------------------------------------------------------------- application icon

def handset(color, cx=40.0, cy=26.0, r=20.0):
    """A telephone handset: a curved handle with rounded ear and mouth pieces at its ends."""
    a0, a1 = math.radians(208), math.radians(68)
    width, pad_len, pad_th = 7.5, 15.0, 12.5
    p0 = (cx + r * math.cos(a0), cy + r * math.sin(a0))
    p1 = (cx + r * math.cos(a1), cy + r * math.sin(a1))
    out = [f'<path d="M{f2(p0[0])} {f2(p0[1])} A{r} {r} 0 0 0 {f2(p1[0])} {f2(p1[1])}" '
           f'{stroke(color, width)}/>']
    # Outward tangents: the handle runs from p0 with decreasing angle to p1.
    ends = ((p0, (-math.sin(a0), math.cos(a0))), (p1, (math.sin(a1), -math.cos(a1))))
    for (px, py), (tx, ty) in ends:
        nx, ny = cx - px, cy - py
        n = math.hypot(nx, ny)
        nx, ny = nx / n, ny / n
        mx = px + tx * (pad_len / 2 - 5.0) + nx * (pad_th / 2 - width / 2 + 0.5)
        my = py + ty * (pad_len / 2 - 5.0) + ny * (pad_th / 2 - width / 2 + 0.5)
        deg = math.degrees(math.atan2(ty, tx))
        out.append(f'<rect x="{f2(-pad_len / 2)}" y="{f2(-pad_th / 2)}" width="{f2(pad_len)}" '
                   f'height="{f2(pad_th)}" rx="4.2" fill="{color}" '
                   f'transform="translate({f2(mx)},{f2(my)}) rotate({f2(deg)})"/>')
    return "".join(out)


def app_icon_body():
    grad = ('<defs><linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#4b9bf5"/><stop offset="1" stop-color="#1d5fb3"/>'
            '</linearGradient></defs>')
    # Sound waves between the handset and the record dot.
    waves = (f'<path d="M30.5 30 A5.5 5.5 0 0 1 36 35.5" {stroke(NEAR_WHITE, 2.4)} stroke-opacity="0.9"/>'
             f'<path d="M30.5 23 A12.5 12.5 0 0 1 43 35.5" {stroke(NEAR_WHITE, 2.4)} stroke-opacity="0.55"/>')
    dot = (f'<circle cx="48" cy="16" r="9" fill="{NEAR_WHITE}"/>'
           f'<circle cx="48" cy="16" r="6.2" fill="{RED}"/>')
    return (grad + '<rect x="2" y="2" width="60" height="60" rx="14" fill="url(#tile)"/>'
            + handset(NEAR_WHITE, 37, 25, 21) + waves + dot)


def make_app_icon():
    write("128", svg(64, 64, app_icon_body()))


# ---------------------------------------------------------------- notification area

BALLOON_FILL = "#e7ffff"   # the balloon's text is drawn on this colour
BALLOON_LINE = "#6f9fd6"
CUT_OUT = "#ff0000"        # the balloon window leaves out every pixel of exactly this colour
BALLOON_W, BALLOON_H = 258, 68
BALLOON_BODY_H = 55        # the tail takes the rows below the body
BALLOON_TIP_X = 243        # the notification icon sits under this column


def tray_tile():
    """The program icon's tile and handset, without its sound waves, which blur at 16 pixels."""
    grad = ('<defs><linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#4b9bf5"/><stop offset="1" stop-color="#1d5fb3"/>'
            '</linearGradient></defs>')
    return (grad + '<rect x="1" y="1" width="62" height="62" rx="13" fill="url(#tile)"/>'
            + handset(NEAR_WHITE, 35, 27, 21))


def tray_badge(inner):
    """A state mark at the tile's upper right, ringed so it stands off the handset."""
    return f'<circle cx="46" cy="18" r="16" fill="{NEAR_WHITE}"/>' + inner


def make_tray_icons():
    # Drawn on a 64 grid and given a 32-pixel size; the notification area scales them down.
    icons = {
        # Idle, or no recording features: the program's mark alone.
        "271": tray_tile(),
        # Recording: a red dot.
        "242": tray_tile() + tray_badge(f'<circle cx="46" cy="18" r="12.5" fill="{RED}"/>'),
        # Armed for auto-recording: an amber ring waiting for a call.
        "241": tray_tile() + tray_badge(f'<circle cx="46" cy="18" r="9.5" fill="none" '
                                        f'stroke="{AMBER}" stroke-width="6"/>'),
        # An auto-recorded call in progress: the amber ring closes on a red dot.
        "324": tray_tile() + tray_badge(f'<circle cx="46" cy="18" r="12.5" fill="{AMBER}"/>'
                                        f'<circle cx="46" cy="18" r="7.5" fill="{RED}"/>'),
    }
    for name, body in icons.items():
        write(name, svg(32, 32, f'<g transform="scale(0.5)">{body}</g>'))


def auto_mark(p, size):
    """The auto-recording button's circular arrow and dot, cropped to its extent, its arc made
    bolder so that it still reads at menu size."""
    return f'<g transform="scale({size / 26:.4f}) translate(-7,-7)">{t_auto(p, 3.0)}</g>'


def make_tray_menu_pictures():
    # Marked pictures are in full colour (the command is open in that state), unmarked plain.
    colour, plain = pal("U"), pal("X")
    quiet = dict(plain, ink=INK_SOFT, red=INK_SOFT)   # auto-recording can be left: still legible
    write("259", svg(16, 16, place(g_gear(colour), 0, 0, 16)))
    write("262", svg(16, 16, auto_mark(colour, 16)))
    write("256", svg(16, 16, auto_mark(quiet, 16)))
    write("255", svg(16, 16, f'<circle cx="8" cy="8" r="5.5" fill="{RED}"/>'))
    write("261", svg(16, 16, f'<circle cx="8" cy="8" r="5.5" fill="{GREY_GLYPH}"/>'))
    write("257", svg(16, 16, f'<rect x="3" y="3" width="10" height="10" rx="2" fill="{RED}"/>'))
    write("263", svg(16, 16, f'<rect x="3" y="3" width="10" height="10" rx="2" fill="{GREY_GLYPH}"/>'))


def make_balloon():
    w, h, r = BALLOON_W, BALLOON_H, 9
    right, bottom = w - 0.5, BALLOON_BODY_H - 0.5
    tip = BALLOON_TIP_X + 0.5
    # One outline for body and tail, on half pixels so that its straight runs stay crisp.
    outline = (f"M{r + 0.5} 0.5 H{f2(right - r)} A{r} {r} 0 0 1 {f2(right)} {r + 0.5} "
               f"V{f2(bottom - r)} A{r} {r} 0 0 1 {f2(right - r)} {f2(bottom)} "
               f"H{f2(tip - 3)} L{f2(tip)} {f2(h - 1.5)} L{f2(tip - 17)} {f2(bottom)} "
               f"H{r + 0.5} A{r} {r} 0 0 1 0.5 {f2(bottom - r)} V{r + 0.5} A{r} {r} 0 0 1 {r + 0.5} 0.5 Z")
    icon = app_icon_body()
    body = (f'<rect width="{w}" height="{h}" fill="{CUT_OUT}"/>'
            f'<path d="{outline}" fill="{BALLOON_FILL}" stroke="{BALLOON_LINE}" stroke-width="1"/>'
            # The program's mark left of the text, which starts at x 40.
            f'<g transform="translate(9,14) scale(0.40625)">{icon}</g>')
    write("Fumetto", svg(w, h, body))
    # Its close button, 17 x 17 at the balloon's upper right.
    cross = "M5.5 5.5 L11.5 11.5 M11.5 5.5 L5.5 11.5"
    write("267", svg(17, 17, f'<path d="{cross}" {stroke(INK_SOFT, 1.8)}/>'))
    write("266", svg(17, 17, f'<rect x="0.5" y="0.5" width="16" height="16" rx="3.5" fill="{ACCENT_TINT}" '
                             f'stroke="{ACCENT}" stroke-width="1"/>'
                             f'<path d="{cross}" {stroke(ACCENT_DARK, 1.8)}/>'))


# ---------------------------------------------------------------- window background (470 x 618)

def rrect(rect, radius, fill, line=None, width=1.0):
    x, y, w, h = rect
    s = f' stroke="{line}" stroke-width="{width}"' if line else ""
    return f'<rect x="{x + 0.5}" y="{y + 0.5}" width="{w - 1}" height="{h - 1}" rx="{radius}" fill="{fill}"{s}/>'


def make_background():
    parts = []
    parts.append('<defs>'
                 '<linearGradient id="head" x1="0" y1="0" x2="0" y2="1">'
                 f'<stop offset="0" stop-color="{NEAR_WHITE}"/><stop offset="1" stop-color="#edf4fc"/>'
                 '</linearGradient>'
                 '<linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">'
                 '<stop offset="0" stop-color="#4b9bf5"/><stop offset="1" stop-color="#1d5fb3"/>'
                 '</linearGradient>'
                 '</defs>')
    parts.append(f'<rect width="{WIN_W}" height="{WIN_H}" fill="{BODY}"/>')

    # Header with the logo.
    parts.append(f'<rect width="{WIN_W}" height="{HEADER_H}" fill="url(#head)"/>')
    parts.append(f'<path d="M0 {HEADER_H - 0.5} L{WIN_W} {HEADER_H - 0.5}" stroke="#d3e2f3" stroke-width="1"/>')
    icon = app_icon_body().split("</defs>", 1)[1]     # the tile gradient is defined above
    parts.append(f'<g transform="translate(14,10) scale(0.5)">{icon}</g>')
    parts.append(f'<text x="54" y="35" font-family="{FONT}" font-size="23" font-weight="bold" '
                 f'fill="{INK}">Parl<tspan fill="{ACCENT}">une</tspan></text>')

    # The light-blue display panel.
    parts.append(rrect(PANEL_RECT, 10, PANEL, PANEL_LINE))
    # The clock's frame: a slightly deeper outline so the digits read as a display.
    parts.append(rrect(SCREEN_RECT, 8, PANEL, "#a9c9ec"))
    # Empty tracks under the level meter and the position bar, seen while they are hidden.
    for rect in (METER_RECT, BAR_RECT):
        parts.append(rrect(rect, 4 if rect is METER_RECT else 5, NEAR_WHITE, "#bcd6f1"))
    # The meter's unlit segments, drawn exactly as the meter draws them.
    mx, my, mw, mh = METER_RECT
    seg = (mw - 1) // 20
    for i in range(20):
        parts.append(f'<rect x="{mx + 1 + i * seg + 1}" y="{my + 3}" width="{seg - 2}" height="{mh - 6}" '
                     f'fill="#eef2f6"/>')
    parts.append(f'<path d="M20 {DIVIDER_Y + 0.5} L450 {DIVIDER_Y + 0.5}" stroke="{PANEL_LINE}" stroke-width="1"/>')

    # Transport bar.
    parts.append(rrect(TRANSPORT_RECT, 25, NEAR_WHITE, "#d5e2ef"))
    sx = TRANSPORT_SEPARATOR_X
    ty = TRANSPORT_RECT[1]
    parts.append(f'<path d="M{sx + 0.5} {ty + 12} L{sx + 0.5} {ty + TRANSPORT_RECT[3] - 12}" '
                 f'stroke="#d5e2ef" stroke-width="1"/>')

    # Lower half: the recordings.
    parts.append(f'<rect x="0" y="{LOWER_Y}" width="{WIN_W}" height="{WIN_H - LOWER_Y}" fill="{BAND}"/>')
    parts.append(f'<path d="M0 {LOWER_Y + 0.5} L{WIN_W} {LOWER_Y + 0.5}" stroke="#dcdcdc" stroke-width="1"/>')
    lx, ly, lw, lh = LIST_RECT
    parts.append(rrect((lx - 1, ly - 1, lw + 2, lh + 2), 3, "#ffffff", "#c9cdd2"))
    parts.append(f'<path d="M8 {TOOL_BAND_Y + 0.5} L462 {TOOL_BAND_Y + 0.5}" stroke="#d8d8d8" stroke-width="1"/>')
    parts.append(rrect(TOOL_BLOCK, 8, BAND_DARK))
    write("132", svg(WIN_W, WIN_H, "\n".join(parts)))


# ---------------------------------------------------------------- About box (380 x 240)

ABOUT_W, ABOUT_H = 380, 240


def make_about_picture():
    """The product picture behind the About box: the program's tile colours deepened so that
    its white labels (from y 138, left) and the light Close button (lower right) read well."""
    parts = ['<defs>'
             '<linearGradient id="sky" x1="0" y1="0" x2="0.35" y2="1">'
             '<stop offset="0" stop-color="#2f7fe0"/><stop offset="0.55" stop-color="#1d5fb3"/>'
             '<stop offset="1" stop-color="#123f7d"/></linearGradient>'
             '<linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">'
             '<stop offset="0" stop-color="#4b9bf5"/><stop offset="1" stop-color="#1d5fb3"/>'
             '</linearGradient>'
             '</defs>']
    parts.append(f'<rect width="{ABOUT_W}" height="{ABOUT_H}" fill="url(#sky)"/>')
    # Large soft rings spreading from the upper right, like sound leaving the handset.
    for i, r in enumerate((70, 120, 170, 220)):
        parts.append(f'<circle cx="{ABOUT_W + 10}" cy="-10" r="{r}" fill="none" '
                     f'stroke="{NEAR_WHITE}" stroke-width="{14 - 3 * i}" stroke-opacity="{0.07:.2f}"/>')
    # A waveform band across the middle, quiet at the edges and loud in the centre.
    mid, bars = 98, 46
    for i in range(bars):
        x = 26 + i * 7.2
        t = i / (bars - 1)
        envelope = math.sin(math.pi * t) ** 1.4
        wobble = 0.55 + 0.45 * abs(math.sin(i * 1.7) * math.cos(i * 0.63))
        h = max(3.0, 30 * envelope * wobble)
        opacity = 0.18 + 0.30 * envelope
        parts.append(f'<rect x="{f2(x)}" y="{f2(mid - h / 2)}" width="3.6" height="{f2(h)}" rx="1.8" '
                     f'fill="{NEAR_WHITE}" fill-opacity="{opacity:.2f}"/>')
    # A thin rule above the labels.
    parts.append(f'<path d="M26 130.5 H{ABOUT_W - 26}" stroke="{NEAR_WHITE}" stroke-opacity="0.25" '
                 f'stroke-width="1"/>')
    # The program's mark and name, as in the Recorder window's header but in white.
    icon = app_icon_body().split("</defs>", 1)[1]
    parts.append(f'<g transform="translate(24,22) scale(0.75)">'
                 f'<rect x="4" y="6" width="60" height="60" rx="14" fill="#0d2f5e" fill-opacity="0.35"/>'
                 f'{icon}</g>')
    parts.append(f'<rect x="25.5" y="23.5" width="45" height="45" rx="10.5" fill="none" '
                 f'stroke="{NEAR_WHITE}" stroke-opacity="0.55" stroke-width="1"/>')
    parts.append(f'<text x="86" y="58" font-family="{FONT}" font-size="31" font-weight="bold" '
                 f'fill="{NEAR_WHITE}">Parl<tspan fill="#9fd0ff">une</tspan></text>')
    parts.append(f'<circle cx="{ABOUT_W - 38}" cy="40" r="6" fill="{RED}"/>'
                 f'<circle cx="{ABOUT_W - 38}" cy="40" r="9.5" fill="none" stroke="{RED}" '
                 f'stroke-opacity="0.45" stroke-width="2"/>')
    write("293", svg(ABOUT_W, ABOUT_H, "\n".join(parts)))


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    make_transport()
    make_tool_buttons()
    make_small_buttons()
    make_row_images()
    make_app_icon()
    make_tray_icons()
    make_tray_menu_pictures()
    make_balloon()
    make_background()
    make_about_picture()
    count = len([n for n in os.listdir(OUT_DIR) if n.endswith(".svg")])
    print(f"{count} images in {os.path.normpath(OUT_DIR)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
