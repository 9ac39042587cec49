// installer/config_file.cpp: the game's configuration file, a fixed
// template of 71 lines with the dialogue's options in one of them.
//
// The file is a text stream: the host layer turns every line feed into
// CR LF, so the template keeps bare line feeds. Its lines are written as
// they stand; only the OPTIONS line is a format.
#include "installer/config_file.h"

#include <cstdio>

#include "installer/install_file.h"
#include "installer/run_state.h"

namespace {

constexpr size_t CONFIG_LINE_COUNT = 71;
// The one line that is a format: its three %s take the name option, the
// color option and the number-pad option, in that order. Counted from 0.
constexpr size_t OPTIONS_LINE = 21;

// The template, one entry per line, each with its own line feed. Entry
// OPTIONS_LINE is a printf format; every other entry is written unchanged,
// so the percent sign of the packorder line stays a percent sign. The
// trailing blank of the DELVDIR explanation and the tabs of the graphics
// lines belong to the lines.
const char* const CONFIG_TEMPLATE[] = {
    "# Wyrmhold.cnf file for Windows NT\n",
    "# A '#' at the beginning of a line means the rest of the line is a comment.\n",
    "#\n",
    "# To change the configuration, comment out the unwanted lines, and\n",
    "# uncomment the configuration you want.\n",
    "\n",
    "# *** OPTIONS ***\n",
    "#\n",
    "OPTIONS=IBMgraphics\n",
    "#\n",
    "# Some options to set personal preferences.  Uncomment and change these to\n",
    "# suit your personal preference.  If several people are to use the same\n",
    "# configuration, options like these should not be set.\n",
    "#\n",
    "#OPTIONS=name:Marvet-Q,female,dogname:Fido,catname:Morris,fruit:apricot\n",
    "#OPTIONS=packorder:\")[%?+/=!(*0_`,scores:10 top/2 around/own\n",
    "#\n",
    "#\n",
    "# Other general options.  You might also set \"silent\" so as not to attract\n",
    "# the boss's attention.\n",
    "#\n",
    "OPTIONS=%s,notime,norest_on_space,noautopickup,%s,%s\n",
    "# *** HARD DISK CONFIGURATION ***\n",
    "#\n",
    "# Wyrmhold for Windows NT defaults to using the same directory as that\n",
    "# which the executable was loaded from.  If you want, you can override \n",
    "# that here.\n",
    "#\n",
    "#DELVDIR=c:\\games\\wyrmholdn\n",
    "#\n",
    "#   LEVELS and SAVE default to DELVDIR\n",
    "#\n",
    "#LEVELS=c:\\games\\wyrmhold\\bones\n",
    "#SAVE=c:\\games\\wyrmhold\\bones;n\n",
    "#\n",
    "#   appending a \";n\" to SAVE means don't prompt to insert a disk.\n",
    "SAVE=;n\n",
    "# *** CHARACTER GRAPHICS ***\n",
    "#\n",
    "# See the on-line help or the Guidebook for which symbols are in which\n",
    "# positions.\n",
    "#\n",
    "# You can make up your own via these graphics options, but you should still\n",
    "# set IBMgraphics if you are using IBM graphics characters to get the correct\n",
    "# processing.\n",
    "#\n",
    "# An example using the IBM graphics character set:\n",
    "#DUNGEON=  032 179 196 218 191 192 217 197 193 194 \\\n",
    "#\t   180 195 249 239 239 254 254 249 177 177 \\\n",
    "#\t   060 062 060 062 220 190 035 244 247 249 \\\n",
    "#\t   247 042 042 186 205 046 035 247\n",
    "#\n",
    "#TRAPS=    094 094 094 094 094 094 094 094 094 094 \\\n",
    "#\t   094 094 094 094 232 232 232 157 094 094 \\\n",
    "#\t   094 094\n",
    "#\n",
    "#EFFECTS=  179 196 092 047 042 033 041 040\t   \\\n",
    "#\t   048 035 064 042\t\t\t   \\\n",
    "#\t   047 045 092 058 058 092 045 047\t   \\\n",
    "#\t   047 045 092 058 032 058 092 045 047\n",
    "#\n",
    "# Some alternatives:\n",
    "#DUNGEON=  032 186 205 201 187 200 188 206 202 203 \\\n",
    "#\t   185 204 249 239 239 254 254 249 177 177 \\\n",
    "#\t   060 062 060 062 095 092 035 244 247 249 \\\n",
    "#\t   247 042 042 179 196 046 035 247\n",
    "#\n",
    "#TRAPS=    094 094 094 094 094 094 094 094 094 094 \\\n",
    "#\t   094 094 094 094 094 034 094 094 094 094 \\\n",
    "#\t   094 094\n",
    "\n",
};
static_assert(sizeof CONFIG_TEMPLATE / sizeof CONFIG_TEMPLATE[0] == CONFIG_LINE_COUNT,
              "the template has one entry per line");
static_assert(OPTIONS_LINE < CONFIG_LINE_COUNT, "the OPTIONS line is one of the template's");

}  // namespace

void write_config_file(const char* file_name)
{
    if (!open_install_file(file_name))
        return;
    for (size_t line = 0; line < CONFIG_LINE_COUNT; line++) {
        if (line == OPTIONS_LINE)
            fprintf(file_slot, CONFIG_TEMPLATE[line], name_option, color_option, number_pad_option);
        else
            fputs(CONFIG_TEMPLATE[line], file_slot);
    }
    close_install_file(file_name);
}
