// host/posix/shell_link.cpp: the shell link object as Wine provides it: a
// record of the fields set, saved as a binary Shell Link file (the
// MS-SHLLINK format) at the host path that the link path maps to.
//
// The file carries what the installer sets and nothing more: the target as
// a LinkInfo local base path, the working directory, the show command.
// Windows, Wine and lnkinfo all read it back.
//
// It is written for the Wine that runs in the user's locale, which reads
// the target from the local base path alone, in its ANSI code page
// (user_wine_code_pages): there the target stands in that code page, or,
// where the code page cannot hold it, in the short form that Wine's
// GetShortPathNameW gives, ASCII throughout. Its UTF-16 copy keeps the
// long path for every reader that takes that one.
#include "host/shell_link.h"

#include <cstdio>
#include <cstring>

#include "host/files.h"
#include "host/posix/codepage.h"
#include "host/posix/wine/locale_code_pages.h"
#include "host/posix/wine/menu_builder.h"
#include "host/posix/wine/path_map.h"
#include "host/posix/wine/short_names.h"
#include "shared/compose.h"

namespace {

// What Wine's GetWindowsDirectoryA answers in a standard prefix.
const char WINDOWS_DIRECTORY[] = "C:\\windows";

// A path in code page 932 takes at most two bytes for each UTF-16 unit,
// and in any ANSI code page at most three (UTF-8, Wine's 65001).
constexpr size_t LINK_STRING_SIZE = 2 * WINDOWS_PATH_SIZE;
constexpr size_t ANSI_STRING_SIZE = 3 * WINDOWS_PATH_SIZE;

// The one shell link object. It lives while a reference to it is held:
// the object's own and that of its persist interface.
struct ShellLinkRecord {
    int references;                                // 0: no object
    bool persist_open;                             // the persist interface is held
    char target_path[LINK_STRING_SIZE];            // absolute, code page 932
    uint16_t target_wide[WINDOWS_PATH_SIZE];       // the same in UTF-16
    size_t target_units;                           // its units, terminator included
    char target_ansi[ANSI_STRING_SIZE];            // in Wine's ANSI code page, or
                                                   // its short form
    char target_read[LINK_STRING_SIZE];            // what Wine reads from that,
                                                   // code page 932
    uint16_t working_directory[WINDOWS_PATH_SIZE]; // UTF-16
    size_t working_units;                          // terminator included; 0: not set
    int show_command;
};

// start_com calls not yet ended by stop_com: an object can be made only
// while COM is started, as CoCreateInstance demands.
int com_starts;
ShellLinkRecord current_link;

// -- The file ---------------------------------------------------------------
//
// Layout, every number little-endian:
//
//   ShellLinkHeader, 0x4C bytes
//     0x00 u32   HeaderSize 0x4C
//     0x04 16    LinkCLSID 00021401-0000-0000-C000-000000000046
//     0x14 u32   LinkFlags: HasLinkInfo, IsUnicode, HasWorkingDir when set
//     0x18 u32   FileAttributes 0; three FILETIMEs 0; FileSize 0;
//                IconIndex 0
//     0x3C u32   ShowCommand
//     0x40       HotKey 0, three reserved fields 0
//   LinkInfo
//     0x00 u32   LinkInfoSize
//     0x04 u32   LinkInfoHeaderSize 0x24: the two Unicode offsets follow
//     0x08 u32   LinkInfoFlags: VolumeIDAndLocalBasePath
//     0x0C u32   VolumeIDOffset, LocalBasePathOffset,
//                CommonNetworkRelativeLinkOffset 0, CommonPathSuffixOffset,
//                LocalBasePathOffsetUnicode, CommonPathSuffixOffsetUnicode
//     0x24       VolumeID: size 0x11, DRIVE_FIXED, serial 0, label offset
//                0x10, empty label
//     0x35       LocalBasePath (the whole target path in the ANSI code
//                page, NUL),
//                CommonPathSuffix (empty), LocalBasePathUnicode (UTF-16,
//                0 unit), CommonPathSuffixUnicode (empty)
//   StringData WORKING_DIR: u16 count of UTF-16 units, the units, no 0 unit
//   TerminalBlock: u32 0

constexpr size_t HEADER_SIZE = 0x4C;
constexpr size_t LINK_INFO_HEADER_SIZE = 0x24;
constexpr size_t VOLUME_ID_SIZE = 0x11;

constexpr uint32_t HAS_LINK_INFO = 0x02;
constexpr uint32_t HAS_WORKING_DIR = 0x10;
constexpr uint32_t IS_UNICODE = 0x80;
constexpr uint32_t VOLUME_ID_AND_LOCAL_BASE_PATH = 0x01;
constexpr uint32_t DRIVE_FIXED = 3;
// What a new shell link object starts with: SW_SHOWNORMAL.
constexpr int SHOW_NORMAL = 1;

const uint8_t LINK_CLSID[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// The largest file: both target strings and the working directory at
// their longest.
constexpr size_t LINK_FILE_SIZE = HEADER_SIZE + LINK_INFO_HEADER_SIZE + VOLUME_ID_SIZE
    + ANSI_STRING_SIZE + 1 + 2 * WINDOWS_PATH_SIZE + 2 + 2 + 2 * WINDOWS_PATH_SIZE + 4;

// The file being composed.
uint8_t image[LINK_FILE_SIZE];
size_t image_length;

void put_bytes(const void* bytes, size_t count)
{
    memcpy(image + image_length, bytes, count);
    image_length += count;
}

void put_u16(uint32_t value)
{
    image[image_length++] = static_cast<uint8_t>(value);
    image[image_length++] = static_cast<uint8_t>(value >> 8);
}

void put_u32(uint32_t value)
{
    put_u16(value & 0xFFFF);
    put_u16(value >> 16);
}

void put_units(const uint16_t* units, size_t count)
{
    for (size_t i = 0; i < count; i++)
        put_u16(units[i]);
}

void put_zeros(size_t count)
{
    memset(image + image_length, 0, count);
    image_length += count;
}

// Composes the whole file from the record into `image`.
void compose_link_file()
{
    image_length = 0;
    uint32_t flags = HAS_LINK_INFO | IS_UNICODE;
    if (current_link.working_units > 0)
        flags |= HAS_WORKING_DIR;

    put_u32(HEADER_SIZE);
    put_bytes(LINK_CLSID, sizeof LINK_CLSID);
    put_u32(flags);
    put_zeros(4 + 3 * 8 + 4 + 4);  // attributes, times, size, icon index
    put_u32(static_cast<uint32_t>(current_link.show_command));
    put_zeros(2 + 2 + 4 + 4);      // hot key, reserved
    static_assert(4 + 16 + 4 + 4 + 3 * 8 + 4 + 4 + 4 + 2 + 2 + 4 + 4 == HEADER_SIZE,
                  "the header's fields fill its size");

    const size_t base_length = strlen(current_link.target_ansi) + 1;
    const size_t volume_offset = LINK_INFO_HEADER_SIZE;
    const size_t base_offset = volume_offset + VOLUME_ID_SIZE;
    const size_t suffix_offset = base_offset + base_length;
    const size_t base_unicode_offset = suffix_offset + 1;
    const size_t suffix_unicode_offset = base_unicode_offset + 2 * current_link.target_units;
    const size_t link_info_size = suffix_unicode_offset + 2;

    put_u32(static_cast<uint32_t>(link_info_size));
    put_u32(LINK_INFO_HEADER_SIZE);
    put_u32(VOLUME_ID_AND_LOCAL_BASE_PATH);
    put_u32(static_cast<uint32_t>(volume_offset));
    put_u32(static_cast<uint32_t>(base_offset));
    put_u32(0);
    put_u32(static_cast<uint32_t>(suffix_offset));
    put_u32(static_cast<uint32_t>(base_unicode_offset));
    put_u32(static_cast<uint32_t>(suffix_unicode_offset));

    put_u32(VOLUME_ID_SIZE);
    put_u32(DRIVE_FIXED);
    put_u32(0);                    // serial number
    put_u32(0x10);                 // the label right after these four fields
    put_zeros(1);                  // empty label

    put_bytes(current_link.target_ansi, base_length);
    put_zeros(1);                  // empty common path suffix
    put_units(current_link.target_wide, current_link.target_units);
    put_zeros(2);                  // empty common path suffix in UTF-16

    if (current_link.working_units > 0) {
        put_u16(static_cast<uint32_t>(current_link.working_units - 1));
        put_units(current_link.working_directory, current_link.working_units - 1);
    }
    put_u32(0);                    // terminal block
}

}  // namespace

bool get_windows_directory(char* buffer, size_t capacity)
{
    return compose(buffer, capacity, {WINDOWS_DIRECTORY});
}

bool start_com()
{
    com_starts++;
    return true;
}

void stop_com()
{
    if (com_starts > 0)
        com_starts--;
}

bool create_shell_link()
{
    if (com_starts == 0 || current_link.references > 0)
        return false;
    memset(&current_link, 0, sizeof current_link);
    current_link.references = 1;
    current_link.show_command = SHOW_NORMAL;
    return true;
}

bool set_link_path(const char* target_path)
{
    // Wine stores the path made absolute against the current directory.
    if (current_link.references == 0 || target_path[0] == '\0'
        || !full_windows_path(target_path, current_link.target_path, sizeof current_link.target_path))
        return false;
    const int units = cp932_to_utf16(current_link.target_path, current_link.target_wide, WINDOWS_PATH_SIZE);
    if (units <= 0) {
        current_link.target_path[0] = '\0';
        return false;
    }
    current_link.target_units = static_cast<size_t>(units);
    // Where the code page cannot hold the path and the file has no short
    // form (it does not exist), Wine keeps the path with a '?' for each
    // character that code page lacks, as here; its menu entry is then
    // given the long path.
    const unsigned ansi = user_wine_code_pages().ansi;
    const char* read = current_link.target_path;
    char short_form[LINK_STRING_SIZE];
    if (!utf16_to_code_page(ansi, current_link.target_wide, current_link.target_ansi, ANSI_STRING_SIZE,
                            REFUSE_UNCONVERTIBLE)) {
        if (wine_short_path(current_link.target_path, short_form, sizeof short_form)) {
            strcpy(current_link.target_ansi, short_form);
            read = short_form;
        } else if (!utf16_to_code_page(ansi, current_link.target_wide, current_link.target_ansi, ANSI_STRING_SIZE,
                                       REPLACE_UNCONVERTIBLE)) {
            current_link.target_units = 0;
            return false;
        }
    }
    strcpy(current_link.target_read, read);
    return true;
}

bool open_link_persist()
{
    if (current_link.references == 0 || current_link.persist_open)
        return false;
    current_link.persist_open = true;
    current_link.references++;
    return true;
}

void set_link_working_directory(const char* directory)
{
    if (current_link.references == 0)
        return;
    const int units = cp932_to_utf16(directory, current_link.working_directory, WINDOWS_PATH_SIZE);
    current_link.working_units = units > 1 ? static_cast<size_t>(units) : 0;
}

void set_link_show_command(int show_command)
{
    if (current_link.references > 0)
        current_link.show_command = show_command;
}

bool save_link(const uint16_t* wide_path)
{
    if (!current_link.persist_open || current_link.target_units == 0)
        return false;
    char windows_path[LINK_STRING_SIZE];
    if (!utf16_to_cp932(wide_path, windows_path, sizeof windows_path))
        return false;
    // The folder must exist already: open_file does not create it, just as
    // the shell link object does not. Like every file written, a pipe there
    // is not waited for and a link there is replaced, not written through.
    FILE* file = open_file(windows_path, "wb");
    if (file == nullptr)
        return false;
    compose_link_file();
    if (fwrite(image, 1, image_length, file) != image_length) {
        discard_file(file);
        return false;
    }
    if (!finish_file(file))
        return false;
    // Under Wine, saving a shortcut makes the menu builder run. Where its
    // entry cannot be written, the shortcut stays and the save says so.
    char working_directory[LINK_STRING_SIZE] = "";
    return (current_link.working_units == 0 ||
            utf16_to_cp932(current_link.working_directory, working_directory, sizeof working_directory)) &&
           build_menu_entry(windows_path, current_link.target_read, working_directory);
}

void release_link_persist()
{
    if (!current_link.persist_open)
        return;
    current_link.persist_open = false;
    current_link.references--;
}

void release_shell_link()
{
    if (current_link.references > (current_link.persist_open ? 1 : 0))
        current_link.references--;
}

bool get_shell_folder(ShellFolder which, uint16_t* wide, size_t capacity)
{
    char folder[LINK_STRING_SIZE];
    return get_user_folder(which == SHELL_FOLDER_PROGRAMS ? USER_PROGRAMS : USER_DESKTOP, folder, sizeof folder) &&
           cp932_to_utf16(folder, wide, capacity) > 0;
}

bool convert_to_wide(const char* path, uint16_t* wide, size_t capacity)
{
    return cp932_to_utf16(path, wide, capacity) > 0;
}

bool console_reads_code_page_932()
{
    return user_wine_code_pages().oem == 932;
}

bool get_full_path(const char* path, char* out, size_t capacity)
{
    return full_windows_path(path, out, capacity);
}
