// tests/host/posix/files_test.cpp: open_file on Windows paths in a temporary
// prefix.
#include "host/files.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/portable/name_table.h"
#include "tests/support/test_support.h"

TEST(OpenFile, TextModeWritesCrLf)
{
    const std::string root = start_prefix();
    // Long enough that the stream hands its buffer on several times.
    std::string text = "first\nsecond\r\n\n";
    std::string expected = "first\r\nsecond\r\r\n\r\n";
    for (int i = 0; i < 3000; i++) {
        text += "line\n";
        expected += "line\r\n";
    }
    FILE* file = open_file("c:\\yamawyrm.bat", "w");
    ASSERT_NE(file, nullptr);
    fputs(text.c_str(), file);
    EXPECT_TRUE(finish_file(file));
    EXPECT_EQ(read_file(root + "/drive_c/yamawyrm.bat"), bytes_of(expected));
    end_prefix(root);
}

TEST(OpenFile, BinaryModesKeepEveryByte)
{
    const std::string root = start_prefix();
    const std::string data("a\nb\r\n\0\x1a\xff", 8);
    FILE* file = open_file("C:\\data.dat", "wb");
    ASSERT_NE(file, nullptr);
    fwrite(data.data(), 1, data.size(), file);
    EXPECT_TRUE(finish_file(file));
    EXPECT_EQ(read_file(root + "/drive_c/data.dat"), bytes_of(data));

    file = open_file("c:/DATA.DAT", "rb");
    ASSERT_NE(file, nullptr);
    char back[16];
    EXPECT_EQ(fread(back, 1, sizeof back, file), data.size());
    EXPECT_EQ(std::string(back, data.size()), data);
    fclose(file);
    end_prefix(root);
}

TEST(OpenFile, ReplacesAnExistingFileFoundByCase)
{
    const std::string root = start_prefix();
    mkdir((root + "/drive_c/Games").c_str(), 0777);
    write_file(root + "/drive_c/Games/YAMAWYRM.EXE", bytes_of("old contents"));
    FILE* file = open_file("c:\\games\\yamawyrm.exe", "wb");
    ASSERT_NE(file, nullptr);
    fputs("new", file);
    EXPECT_TRUE(finish_file(file));
    EXPECT_EQ(read_file(root + "/drive_c/Games/YAMAWYRM.EXE"), bytes_of("new"));
    EXPECT_FALSE(file_exists(root + "/drive_c/Games/yamawyrm.exe"));
    end_prefix(root);
}

// A member with an empty name names the install directory itself.
TEST(OpenFile, FolderIsNoFile)
{
    const std::string root = start_prefix();
    mkdir((root + "/drive_c/games").c_str(), 0777);
    for (const char* mode : {"wb", "w", "rb"})
        EXPECT_EQ(open_file("c:\\games\\", mode), nullptr) << mode;
    EXPECT_EQ(open_file("c:\\games", "rb"), nullptr);
    end_prefix(root);
}

TEST(OpenFile, FailsWhereWindowsFails)
{
    const std::string root = start_prefix();
    const char* const paths[] = {
        "c:\\absent\\file.txt",   // a missing folder
        "q:\\file.txt",           // a drive the prefix does not have
        "\\\\server\\share\\x",   // a network path
        "c:\\\x80.txt",           // not code page 932
        "c:\\*.txt",
    };
    for (const char* path : paths) {
        EXPECT_EQ(open_file(path, "wb"), nullptr) << path;
        EXPECT_EQ(open_file(path, "w"), nullptr) << path;
    }
    EXPECT_EQ(open_file("c:\\absent.txt", "rb"), nullptr);
    // Only the three modes the program uses.
    write_file(root + "/drive_c/x.txt", bytes_of("x"));
    EXPECT_EQ(open_file("c:\\x.txt", "r"), nullptr);
    EXPECT_EQ(open_file("c:\\x.txt", "a"), nullptr);
    end_prefix(root);
}

// A file that cannot be written whole is not put in place: the path keeps
// what it had, and no new file stays beside it.
TEST(OpenFile, WriteErrorsReachTheCallerAndLeaveThePath)
{
    const std::string root = start_prefix();
    write_file(root + "/drive_c/full.txt", bytes_of("old"));
    // A file that was there, and one that was not and stays absent.
    for (const char* path : {"c:\\full.txt", "c:\\absent.txt"}) {
        for (const char* mode : {"wb", "w"}) {
            FILE* file = open_file(path, mode);
            ASSERT_NE(file, nullptr) << path << mode;
            {
                FileSizeLimit full(16);
                fputs(std::string(64, 'x').c_str(), file);
                const bool flush_failed = fflush(file) != 0 || ferror(file);
                EXPECT_TRUE(flush_failed) << path << mode;
                EXPECT_FALSE(finish_file(file)) << path << mode;
            }
            EXPECT_EQ(read_file(root + "/drive_c/full.txt"), bytes_of("old")) << path << mode;
            EXPECT_EQ(folder_entries(root + "/drive_c").size(), 1u) << path << mode;
        }
    }
    // Given up: the same.
    FILE* file = open_file("c:\\full.txt", "wb");
    ASSERT_NE(file, nullptr);
    fputs("new", file);
    discard_file(file);
    EXPECT_EQ(read_file(root + "/drive_c/full.txt"), bytes_of("old"));
    EXPECT_EQ(folder_entries(root + "/drive_c").size(), 1u);
    end_prefix(root);
}

// A FIFO, with or without a reader, and a device are no files: every mode
// fails at once instead of waiting for the other end.
TEST(OpenFile, OnlyRegularFilesOpenAndNothingBlocks)
{
    const std::string root = start_prefix();
    const std::string fifo = root + "/drive_c/pipe.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    for (const char* mode : {"rb", "wb", "w"}) {
        EXPECT_EQ(open_file("c:\\pipe.txt", mode), nullptr) << mode;
        EXPECT_EQ(open_file("z:\\dev\\null", mode), nullptr) << mode;
    }
    FILE* reader = fopen(fifo.c_str(), "rb+");  // a reader, so that a writer could open
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(open_file("c:\\pipe.txt", "wb"), nullptr);
    fclose(reader);
    // A folder that comes while a new file is written, where there was
    // nothing, stays as it is, and the file fails at its end; in a batch
    // too, which took the name for new.
    make_folders(root, "drive_c/inst");
    for (const bool batched : {false, true}) {
        const std::string name = batched ? "dirb" : "diru";
        const std::string path = root + "/drive_c/inst/" + name;
        if (batched)
            begin_folder_batch("c:\\inst\\");
        FILE* file = batched ? open_file_in("c:\\inst\\", name.c_str(), "wb")
                             : open_file(("c:\\inst\\" + name).c_str(), "wb");
        ASSERT_NE(file, nullptr) << name;
        ASSERT_EQ(mkdir(path.c_str(), 0777), 0) << name;
        fputs("new", file);
        EXPECT_FALSE(finish_file(file)) << name;
        if (batched)
            end_folder_batch();
        struct stat info;
        ASSERT_EQ(lstat(path.c_str(), &info), 0) << name;
        EXPECT_TRUE(S_ISDIR(info.st_mode)) << name;
    }
    EXPECT_EQ(folder_entries(root + "/drive_c/inst").size(), 2u);
    end_prefix(root);
}

// A link at the path, symbolic or hard, is replaced by a new file; its
// target or the file it shares, existing or not, stays as it was. Reading
// follows the link.
TEST(OpenFile, WritingReplacesALinkAndLeavesItsTarget)
{
    const std::string root = start_prefix();
    write_file(root + "/victim", bytes_of("victim"));
    write_file(root + "/shared", bytes_of("shared"));
    ASSERT_EQ(symlink((root + "/victim").c_str(), (root + "/drive_c/ok.txt").c_str()), 0);
    ASSERT_EQ(symlink((root + "/newfile").c_str(), (root + "/drive_c/dangling.txt").c_str()), 0);
    ASSERT_EQ(link((root + "/shared").c_str(), (root + "/drive_c/hard.txt").c_str()), 0);
    FILE* file = open_file("c:\\ok.txt", "rb");
    ASSERT_NE(file, nullptr);
    fclose(file);
    for (const char* name : {"ok.txt", "dangling.txt", "hard.txt"}) {
        for (const char* mode : {"wb", "w"}) {
            file = open_file(("c:\\" + std::string(name)).c_str(), mode);
            ASSERT_NE(file, nullptr) << name << mode;
            fputs("new", file);
            EXPECT_TRUE(finish_file(file)) << name << mode;
            struct stat info;
            ASSERT_EQ(lstat((root + "/drive_c/" + name).c_str(), &info), 0);
            EXPECT_TRUE(S_ISREG(info.st_mode) && info.st_nlink == 1) << name << mode;
            EXPECT_EQ(read_file(root + "/drive_c/" + name), bytes_of("new"));
        }
    }
    // The same links put at a name that had nothing while its new file is
    // written: the file is written beside and moved over them at its end;
    // in a batch too, which took the name for new.
    make_folders(root, "drive_c/inst");
    for (const bool batched : {false, true}) {
        for (const char* kind : {"symbolic", "dangling", "hard"}) {
            for (const char* mode : {"wb", "w"}) {
                const std::string name = std::string(kind) + mode + (batched ? "b" : "u");
                const std::string path = root + "/drive_c/inst/" + name;
                if (batched)
                    begin_folder_batch("c:\\inst\\");
                file = batched ? open_file_in("c:\\inst\\", name.c_str(), mode)
                               : open_file(("c:\\inst\\" + name).c_str(), mode);
                ASSERT_NE(file, nullptr) << name;
                if (std::string(kind) == "hard")
                    ASSERT_EQ(link((root + "/shared").c_str(), path.c_str()), 0);
                else
                    ASSERT_EQ(symlink((root + (kind[0] == 's' ? "/victim" : "/newfile")).c_str(), path.c_str()), 0);
                fputs("late", file);
                EXPECT_TRUE(finish_file(file)) << name;
                if (batched)
                    end_folder_batch();
                struct stat info;
                ASSERT_EQ(lstat(path.c_str(), &info), 0);
                EXPECT_TRUE(S_ISREG(info.st_mode) && info.st_nlink == 1) << name;
                EXPECT_EQ(read_file(path), bytes_of("late")) << name;
            }
        }
    }
    EXPECT_EQ(folder_entries(root + "/drive_c/inst").size(), 12u);
    EXPECT_EQ(read_file(root + "/victim"), bytes_of("victim"));
    EXPECT_EQ(read_file(root + "/shared"), bytes_of("shared"));
    EXPECT_FALSE(file_exists(root + "/newfile"));
    end_prefix(root);
}

// Below the folder, a linked folder on the way stops the open; the folder
// itself may be a link or lie below one.
TEST(OpenFileIn, NoLinkedFolderBelowTheFolder)
{
    const std::string root = start_prefix();
    make_folders(root, "outside/dir");
    make_folders(root, "drive_c/real/sub");
    ASSERT_EQ(symlink((root + "/outside/dir").c_str(), (root + "/drive_c/real/linked").c_str()), 0);
    ASSERT_EQ(symlink((root + "/drive_c/real").c_str(), (root + "/drive_c/alias").c_str()), 0);
    for (const char* mode : {"wb", "w", "rb"})
        EXPECT_EQ(open_file_in("c:\\real\\", "linked\\x.txt", mode), nullptr) << mode;
    EXPECT_FALSE(file_exists(root + "/outside/dir/x.txt"));
    // The same name through a folder that is a link, and below it.
    for (const char* folder : {"c:\\alias\\", "c:\\alias\\sub\\..\\"}) {
        FILE* file = open_file_in(folder, "sub\\x.txt", "wb");
        ASSERT_NE(file, nullptr) << folder;
        fputs(folder, file);
        EXPECT_TRUE(finish_file(file));
        EXPECT_EQ(read_file(root + "/drive_c/real/sub/x.txt"), bytes_of(folder));
    }
    end_prefix(root);
}

// Only a name below the folder is opened: not one that climbs out of it
// (even to come back), not the folder itself, and nothing when the folder
// does not end where a name can start.
TEST(OpenFileIn, OnlyNamesBelowTheFolder)
{
    const std::string root = start_prefix();
    make_folders(root, "drive_c/real/sub");
    struct Case {
        const char* folder;
        const char* name;
    };
    const Case refused[] = {
        {"c:\\real", "x.txt"},               // would be c:\realx.txt
        {"c:\\real\\", "sub\\..\\..\\x.txt"},  // climbs out
        {"c:\\real\\", "..\\real\\x.txt"},     // climbs out and back
        {"c:\\real\\", "..."},                 // the folder itself
        {"c:\\real\\", "sub\\.."},             // the folder itself
        {"c:\\real\\", "c:x.txt"},             // a drive of its own
    };
    for (const Case& c : refused) {
        for (const char* mode : {"wb", "rb"})
            EXPECT_EQ(open_file_in(c.folder, c.name, mode), nullptr) << c.folder << c.name << mode;
    }
    EXPECT_EQ(folder_entries(root + "/drive_c").size(), 1u);
    EXPECT_TRUE(folder_entries(root + "/drive_c/real/sub").empty());
    // Dots that Windows drops still name a file below it.
    for (const Case& c : {Case{"c:\\real\\", "sub.\\y.txt."}, Case{"c:\\", "real\\.\\sub\\y.txt"}, Case{"c:", "z.txt"}}) {
        FILE* file = open_file_in(c.folder, c.name, "wb");
        ASSERT_NE(file, nullptr) << c.folder << c.name;
        EXPECT_TRUE(finish_file(file));
    }
    EXPECT_TRUE(file_exists(root + "/drive_c/real/sub/y.txt"));
    EXPECT_TRUE(file_exists(root + "/drive_c/z.txt"));
    end_prefix(root);
}

namespace {

// Counts, as the kernel reports them through inotify, how often a folder
// is listed (each read of its entries) and opened. Events are taken after
// every step, so that the kernel cannot merge those of two steps.
struct FolderWatch {
    int fd;
    int reads = 0;
    int opens = 0;

    explicit FolderWatch(const std::string& folder)
        : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(fd, folder.c_str(), IN_ACCESS | IN_OPEN);
    }
    ~FolderWatch() { close(fd); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    void take()
    {
        alignas(inotify_event) char buffer[64 * 1024];
        ssize_t got;
        while ((got = read(fd, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + got;) {
                const inotify_event* event = reinterpret_cast<const inotify_event*>(at);
                // The folder's own events carry no name.
                if (event->len == 0 && (event->mask & IN_ACCESS) != 0)
                    reads++;
                if (event->len == 0 && (event->mask & IN_OPEN) != 0)
                    opens++;
                at += sizeof(inotify_event) + event->len;
            }
        }
    }
};

void write_in(const char* folder, const std::string& name, const std::string& text)
{
    FILE* file = open_file_in(folder, name.c_str(), "wb");
    ASSERT_NE(file, nullptr) << name;
    fputs(text.c_str(), file);
    EXPECT_TRUE(finish_file(file)) << name;
}

}  // namespace

// A batch finds its folder once and reads each folder below it once,
// however many files it writes; without a batch every new name reads the
// folder again (it is what a batch saves).
TEST(OpenFileIn, BatchReadsEachFolderOnce)
{
    const std::string root = start_prefix();
    const struct {
        const char* folder;  // below c:\, with a folder sub in it
        int files;           // written in the folder, and as many in sub where `inner`
        bool inner;
        bool batched;
    } rows[] = {
        {"inst", 300, true, true},
        {"unbatched", 300, true, false},
        // As many names as a large archive's: not one taken for a name
        // that the folder may hold.
        {"many", 20000, false, true},
    };
    for (const auto& row : rows) {
        const std::string folder = std::string("c:\\") + row.folder + "\\";
        make_folders(root, std::string("drive_c/") + row.folder + "/sub");
        FolderWatch install_folder(root + "/drive_c/" + row.folder);
        FolderWatch drive(root + "/drive_c");
        FolderWatch sub(root + "/drive_c/" + row.folder + "/sub");
        if (row.batched)
            begin_folder_batch(folder.c_str());
        for (int i = 0; i < row.files; i++) {
            const std::string tag = std::to_string(i);
            write_in(folder.c_str(), "file" + tag + ".dat", tag);
            if (row.inner)
                write_in(folder.c_str(), "sub\\inner" + tag + ".dat", tag);
            install_folder.take();
            drive.take();
            sub.take();
        }
        if (row.batched) {
            // One listing is a few reads of the entries, the last finding
            // no more.
            EXPECT_LE(install_folder.reads, 4) << row.folder;
            EXPECT_LE(sub.reads, 4) << row.folder;
            EXPECT_LE(drive.reads + drive.opens, 4) << row.folder;
        } else {
            EXPECT_GE(install_folder.reads, row.files) << row.folder;
            EXPECT_GE(sub.reads, row.files) << row.folder;
        }
        // The first name, written again in other letters, still meets its
        // file, however many names came after it.
        write_in(folder.c_str(), "FILE0.DAT", "again");
        if (row.batched)
            end_folder_batch();
        EXPECT_EQ(read_file(root + "/drive_c/" + row.folder + "/file0.dat"), bytes_of("again")) << row.folder;
        const std::string last = std::to_string(row.files - 1);
        EXPECT_EQ(read_file(root + "/drive_c/" + row.folder + "/file" + last + ".dat"), bytes_of(last)) << row.folder;
        EXPECT_EQ(folder_entries(root + "/drive_c/" + row.folder).size(), static_cast<size_t>(row.files) + 1)
            << row.folder;
    }
    end_prefix(root);
}

// Within a batch names still meet whatever entry matches them ignoring
// case: one that was there before, or one the batch wrote itself; the
// exact spelling wins, else the first in name order. A link that appears
// at a name the batch took for new is never written through.
TEST(OpenFileIn, BatchStillMatchesNamesByCase)
{
    const std::string root = start_prefix();
    const std::string inst = root + "/drive_c/inst";
    make_folders(root, "drive_c/inst/Sub");
    make_folders(root, "outside");
    write_file(inst + "/OLD.DAT", bytes_of("old"));
    for (const char* name : {"readme", "ReadMe", "README"})
        write_file(inst + "/" + name, bytes_of(name));
    write_file(root + "/outside/victim", bytes_of("victim"));

    begin_folder_batch("c:\\inst\\");
    write_in("c:\\inst\\", "old.dat", "new old");
    write_in("c:\\inst\\", "Same.TXT", "first");
    write_in("c:\\inst\\", "same.txt", "second");
    write_in("c:\\inst\\", "ReadMe", "exact");
    write_in("c:\\inst\\", "rEADME", "first in order");
    write_in("c:\\inst\\", "sub\\Inner.Txt", "inner");
    write_in("c:\\inst\\", "SUB\\INNER.TXT", "inner again");
    // Put in place after the folder was read: the batch does not see it.
    ASSERT_EQ(symlink((root + "/outside/victim").c_str(), (inst + "/LATE.TXT").c_str()), 0);
    write_in("c:\\inst\\", "late.txt", "late");
    // A link swapped in at a name the batch wrote is replaced, not followed.
    ASSERT_EQ(unlink((inst + "/Same.TXT").c_str()), 0);
    ASSERT_EQ(symlink((root + "/outside/victim").c_str(), (inst + "/Same.TXT").c_str()), 0);
    write_in("c:\\inst\\", "SAME.TXT", "third");
    // A batch that has remembered as many names as it can forgets them and
    // looks every name up in its folder again: an entry put there since
    // is met.
    for (size_t i = 0; i < MAX_REMEMBERED_NAMES; i++)
        ASSERT_EQ(open_file_in("c:\\inst\\", ("absent" + std::to_string(i)).c_str(), "rb"), nullptr);
    write_file(inst + "/Later.TXT", bytes_of("later"));
    write_in("c:\\inst\\", "later.txt", "met");
    end_folder_batch();

    EXPECT_EQ(read_file(inst + "/OLD.DAT"), bytes_of("new old"));
    EXPECT_FALSE(file_exists(inst + "/old.dat"));
    EXPECT_FALSE(file_exists(inst + "/same.txt"));
    EXPECT_FALSE(file_exists(inst + "/SAME.TXT"));
    struct stat info;
    ASSERT_EQ(lstat((inst + "/Same.TXT").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(read_file(inst + "/Same.TXT"), bytes_of("third"));
    EXPECT_EQ(read_file(inst + "/ReadMe"), bytes_of("exact"));
    EXPECT_EQ(read_file(inst + "/README"), bytes_of("first in order"));
    EXPECT_EQ(read_file(inst + "/readme"), bytes_of("readme"));
    EXPECT_EQ(read_file(inst + "/Sub/Inner.Txt"), bytes_of("inner again"));
    EXPECT_EQ(read_file(inst + "/late.txt"), bytes_of("late"));
    ASSERT_EQ(lstat((inst + "/LATE.TXT").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(read_file(root + "/outside/victim"), bytes_of("victim"));
    EXPECT_EQ(read_file(inst + "/Later.TXT"), bytes_of("met"));
    // Sub, OLD.DAT, the three readmes, Same.TXT, LATE.TXT, late.txt and
    // Later.TXT: no new file left behind, no second spelling made.
    const std::vector<std::string> names = folder_entries(inst);
    EXPECT_EQ(names.size(), 9u);
    for (const std::string& name : names)
        EXPECT_NE(name.compare(0, 4, "~ymw"), 0) << name;
    end_prefix(root);
}
