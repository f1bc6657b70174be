// The program's own files under faults: a page output, local copies, a log, a log folder and
// a settings file that cannot be written (read-only folder or file, missing folder, full
// disk). The program reports as it does for such failures, goes on publishing, and loses no
// existing data: old settings, log and page copies stay byte for byte.
//
// Root writes anywhere, so a fault that rests on permissions runs in a child that gave up the
// right to override them; a full disk is a child's file-size limit (writes past it fail with
// EFBIG) or, where one can be mounted, a tiny memory file system.

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "AppFakes.h"
#include "FaultSupport.h"
#include "app/AppCore.h"
#include "log/EventLog.h"
#include "page/TemplateExpansion.h"

namespace orvex::test {
namespace {

const char* const kHealthyPage = "<p>Home is Online at 127.0.0.1 (LAN 10.1.2.3)</p>";

// The cycle's reports reach the program's core as they do from a worker: every status is
// shown and logged, cycle codes drive the window.
class WorkerHost : public RecordingHost {
public:
    AppCore* core = nullptr;
    void Status(const HostMessage& message) override {
        RecordingHost::Status(message);
        core->OnStatusMessage(message);
    }
    void Cycle(CycleCode code) override {
        RecordingHost::Cycle(code);
        core->OnCycleCode(code);
    }
};

// The program around one rig: its core with a window and a timer that are records.
struct Program {
    explicit Program(CycleRig& rig)
        : rig(rig), core(rig.State(), window, timer, windowHost, unusedHost, DefaultClock()) {
        const AppSettings s = rig.State().Settings();
        // The FTP page holds what the settings hold, so committing it changes nothing.
        window.page.values = {
            s.FTPServer,         s.SiteName,    s.UserID,     s.Password,
            s.OnlineFile,        s.OfflineFile, s.RemoteFile, std::to_string(s.Port),
            s.FTPOnIPChangeOnly, s.EnableFTP};
        worker.core = &core;
    }

    CycleOutcome Cycle() {
        CycleOutcome o = rig.RunOnline(worker);
        o.windowStatuses = windowHost.Statuses();
        o.windowBoxes = windowHost.MessageBoxTexts();
        return o;
    }

    // A cycle, then a Save of the settings, in a child with `limits`.
    CycleOutcome CycleAndSaveInChild(const ChildLimits& limits) {
        const ChildResult child = RunInChild(limits, [&] {
            CycleOutcome o = Cycle();
            core.Settings().Save();
            return EncodeOutcome(o);
        });
        EXPECT_TRUE(child.exited) << child.how;
        return DecodeOutcome(child.output);
    }

    CycleRig& rig;
    FakeWindow window;
    FakeTimer timer;
    RecordingHost windowHost;
    RecordingHost unusedHost;
    AppCore core;
    WorkerHost worker;
};

ChildLimits WithoutFileRights() {
    ChildLimits limits;
    limits.withoutFileRights = true;
    return limits;
}

ChildLimits FileSizeLimit(long long bytes) {
    ChildLimits limits;
    limits.fileSizeLimit = bytes;
    return limits;
}

class DiskFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() { servers = std::make_unique<HealthyServers>(); }
    static void TearDownTestSuite() { servers.reset(); }
    void SetUp() override {
        ASSERT_TRUE(servers->Ready()) << servers->ftp.Log() << servers->echo.Log();
    }
    static std::unique_ptr<HealthyServers> servers;
};
std::unique_ptr<HealthyServers> DiskFaults::servers;

TEST_F(DiskFaults, PageOutputThatCannotBeWrittenFailsTheUploadAndKeepsThePublishedPage) {
    CycleRig rig(*servers, "output.html");
    ASSERT_EQ(rig.RunOnline().result, 1);
    rig.Edit([](AppSettings& s) {
        s.SuppressError = 0;
        s.SiteName = "Changed";
    });
    ASSERT_TRUE(std::filesystem::create_directory(rig.Work().File("Online.txt")));

    const CycleOutcome o = rig.RunOnline();
    EXPECT_EQ(o.result, -1) << o.Describe();
    // The file error is shown and reported; the server is not contacted.
    ASSERT_EQ(o.boxes.size(), 1u) << o.Describe();
    EXPECT_EQ(o.boxes[0], FileErrorText(rig.Work().File("Online.txt"), EISDIR));
    EXPECT_EQ(o.LastStatus(), "P10007 " + FileErrorText(rig.Work().File("Online.txt"), EISDIR));
    EXPECT_EQ(rig.Published(), kHealthyPage);
    // The local copies do not depend on the page output.
    EXPECT_EQ(ReadFile(rig.Work().File("Orvex.html")),
              "<p>Changed is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");

    std::filesystem::remove(rig.Work().File("Online.txt"));
    EXPECT_EQ(rig.RunOnline().result, 1);
    EXPECT_EQ(rig.Published(), "<p>Changed is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");
}

// A page other than the one just generated (left by an earlier failed cycle, or cut short by
// a full disk) is never uploaded.
TEST_F(DiskFaults, APageThatWasNotWrittenWholeIsNeverPublished) {
    CycleRig rig(*servers, "stale.html");
    ASSERT_EQ(rig.RunOnline().result, 1);
    rig.Edit([](AppSettings& s) { s.SiteName = "Changed"; });

    // Left over by an earlier failed cycle, and read-only: the new page replaces it whole.
    const std::string output = rig.Work().File("Online.txt");
    WriteFile(output, "<p>stale page of an earlier cycle</p>");
    ASSERT_EQ(::chmod(output.c_str(), 0444), 0);
    const CycleOutcome replaced = DecodeOutcome(
        RunInChild(WithoutFileRights(), [&] { return EncodeOutcome(rig.RunOnline()); }).output);
    EXPECT_EQ(replaced.result, 1) << replaced.Describe();
    EXPECT_EQ(rig.Published(), "<p>Changed is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");

    // A disk that fills up while the page is written: the cycle fails and says why.
    rig.Edit([](AppSettings& s) { s.SiteName = "Again"; });
    const CycleOutcome cut = DecodeOutcome(
        RunInChild(FileSizeLimit(20), [&] { return EncodeOutcome(rig.RunOnline()); }).output);
    EXPECT_EQ(cut.result, -1) << cut.Describe();
    EXPECT_EQ(rig.Published(), "<p>Changed is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");
    EXPECT_NE(cut.Describe().find("P10007 "), std::string::npos) << cut.Describe();
}

TEST_F(DiskFaults, LocalCopiesThatCannotBeWrittenAreReportedAndKeptWhole) {
    CycleRig rig(*servers, "copies.html");
    const std::string folder = rig.Work().File("copies");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    WriteFile(folder + "/Orvex.html", "old page copy\r\n");
    WriteFile(folder + "/Orvex.txt", "192.0.2.1");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    ASSERT_EQ(::chmod((folder + "/Orvex.html").c_str(), 0444), 0);
    ASSERT_EQ(::chmod((folder + "/Orvex.txt").c_str(), 0444), 0);
    rig.Edit([](AppSettings& s) {
        s.SaveFileHTML = "copies/Orvex.html";
        s.SaveFileASCII = "copies/Orvex.txt";
        s.SuppressError = 0;
    });

    const CycleOutcome o = DecodeOutcome(
        RunInChild(WithoutFileRights(), [&] { return EncodeOutcome(rig.RunOnline()); }).output);
    EXPECT_EQ(o.result, 1) << o.Describe();
    EXPECT_EQ(o.boxes, (std::vector<std::string>{FileErrorText(folder + "/Orvex.html", EACCES),
                                                 FileErrorText(folder + "/Orvex.txt", EACCES)}))
        << o.Describe();
    EXPECT_EQ(ReadFile(folder + "/Orvex.html"), "old page copy\r\n");
    EXPECT_EQ(ReadFile(folder + "/Orvex.txt"), "192.0.2.1");
    EXPECT_EQ(rig.Published(), kHealthyPage);
    ::chmod(folder.c_str(), 0755);
}

TEST_F(DiskFaults, ALocalCopyThatFailsToWriteDoesNotStopTheUpload) {
    CycleRig rig(*servers, "copyfails.html");
    rig.Edit([](AppSettings& s) {
        s.SaveFileHTML = "/dev/full";
        s.SiteName = "Changed";
    });
    const CycleOutcome o = rig.RunOnline();
    EXPECT_EQ(o.result, 1) << o.Describe();
    EXPECT_EQ(o.boxes, std::vector<std::string>{kDiskWriteErrorText}) << o.Describe();
    EXPECT_FALSE(o.HasStatusStarting("P10007 ")) << o.Describe();
    EXPECT_EQ(rig.Published(), "<p>Changed is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");
}

// A full disk never empties a local copy: the old text stays until the new one fits.
TEST_F(DiskFaults, LocalCopyOnAFullDiskKeepsItsOldText) {
    CycleRig rig(*servers, "full.html");
    const std::string disk = rig.Work().File("disk");
    ASSERT_TRUE(std::filesystem::create_directory(disk));
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "no memory file system can be mounted here";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};
    WriteFile(disk + "/Orvex.html", "old page copy\r\n");
    // Fill the disk to the last byte.
    {
        std::FILE* filler = std::fopen((disk + "/filler").c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const std::string block(512, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
               std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    WriteFile(rig.Work().File("online.htm"), std::string(20000, 'p') + "%WI");
    rig.Edit([](AppSettings& s) { s.SaveFileHTML = "disk/Orvex.html"; });

    const CycleOutcome o = rig.RunOnline();
    EXPECT_EQ(o.boxes, std::vector<std::string>{kDiskWriteErrorText}) << o.Describe();
    const std::string copy = ReadFile(disk + "/Orvex.html");
    EXPECT_TRUE(copy == "old page copy\r\n") << "the copy now holds " << copy.size() << " bytes";
}

TEST_F(DiskFaults, LogThatCannotBeWrittenLosesNoLineAndNeverStopsACycle) {
    const std::string oldLog = "01/02/24 10:00:00  System Online:   \r\n";
    auto setUp = [&](CycleRig& rig, const std::string& logName) {
        rig.Edit([&](AppSettings& s) {
            s.IsLogging = 1;
            s.LogFilename = logName;
            s.MaxLog = 0;
        });
    };

    {
        SCOPED_TRACE("read-only log: silently not logged");
        CycleRig rig(*servers, "log1.html");
        setUp(rig, "Orvex.log");
        WriteFile(rig.Work().File("Orvex.log"), oldLog);
        ASSERT_EQ(::chmod(rig.Work().File("Orvex.log").c_str(), 0444), 0);
        Program program(rig);
        const CycleOutcome o = program.CycleAndSaveInChild(WithoutFileRights());
        EXPECT_EQ(o.result, 1) << o.Describe();
        EXPECT_TRUE(o.windowStatuses.empty());
        EXPECT_EQ(ReadFile(rig.Work().File("Orvex.log")), oldLog);
        EXPECT_EQ(rig.Published(), kHealthyPage);
    }
    {
        SCOPED_TRACE("missing log folder: silently not logged, nothing created");
        CycleRig rig(*servers, "log2.html");
        setUp(rig, "gone/Orvex.log");
        Program program(rig);
        const CycleOutcome o = program.Cycle();
        EXPECT_EQ(o.result, 1) << o.Describe();
        EXPECT_TRUE(o.windowStatuses.empty());
        EXPECT_FALSE(FileExists(rig.Work().File("gone")));
        EXPECT_EQ(rig.Published(), kHealthyPage);
    }
    {
        SCOPED_TRACE("read-only log folder while a purge is due: reported, log kept");
        CycleRig rig(*servers, "log3.html");
        setUp(rig, "logs/Orvex.log");
        rig.Edit([](AppSettings& s) { s.MaxLog = 3; });
        const std::string folder = rig.Work().File("logs");
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        WriteFile(folder + "/Orvex.log", oldLog);
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        Program program(rig);
        const CycleOutcome o = program.CycleAndSaveInChild(WithoutFileRights());
        ::chmod(folder.c_str(), 0755);
        EXPECT_EQ(o.result, 1) << o.Describe();
        ASSERT_FALSE(o.windowStatuses.empty());
        for (const std::string& s : o.windowStatuses) {
            EXPECT_EQ(s, kLogErrorStatus);
        }
        const std::string log = ReadFile(folder + "/Orvex.log");
        ASSERT_EQ(log.substr(0, oldLog.size()), oldLog);
        // The purge's notice goes in before the rewrite fails; nothing else does.
        size_t at = oldLog.size();
        while (at < log.size()) {
            const size_t end = log.find("\r\n", at);
            ASSERT_NE(end, std::string::npos);
            EXPECT_EQ(log.substr(at + 19, end - at - 19), kLogCleaningNotice);
            at = end + 2;
        }
        EXPECT_FALSE(FileExists(folder + "/Orvex.log.tmp"));
        EXPECT_EQ(rig.Published(), kHealthyPage);
    }
}

TEST_F(DiskFaults, LogOnAFullDiskIsReportedAndKeptByteForByte) {
    CycleRig rig(*servers, "logfull.html");
    rig.Edit([](AppSettings& s) {
        s.IsLogging = 1;
        s.LogFilename = "Orvex.log";
    });
    std::string oldLog;
    while (oldLog.size() < 8000) {
        oldLog += "01/02/24 10:00:00  System Online:   10.1.2.3 127.0.0.1\r\n";
    }
    WriteFile(rig.Work().File("Orvex.log"), oldLog);
    Program program(rig);
    // The log is as large as a file may grow; every other file of the cycle is smaller.
    const CycleOutcome o =
        program.CycleAndSaveInChild(FileSizeLimit(static_cast<long long>(oldLog.size())));
    EXPECT_EQ(o.result, 1) << o.Describe();
    ASSERT_FALSE(o.windowStatuses.empty());
    EXPECT_EQ(o.windowStatuses[0], kLogErrorStatus);
    EXPECT_EQ(ReadFile(rig.Work().File("Orvex.log")), oldLog);
    EXPECT_EQ(rig.Published(), kHealthyPage);
}

TEST_F(DiskFaults, SettingsThatCannotBeWrittenStayByteForByte) {
    const std::string handWritten =
        "; kept by "
        "hand\r\n[LocalSettings]\r\nFTPServer=old.example\r\nWANIPURL=http://127.0.0.1:1/\r\n"
        "[IPAddress]\r\nLastWANIP=192.0.2.1\r\n";
    {
        SCOPED_TRACE("read-only settings file in a read-only folder");
        CycleRig rig(*servers, "ini1.html", "conf/Orvex.ini");
        const std::string folder = rig.Work().File("conf");
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        WriteFile(folder + "/Orvex.ini", handWritten);
        ASSERT_EQ(::chmod((folder + "/Orvex.ini").c_str(), 0444), 0);
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        Program program(rig);
        // The lookup URL comes from the file, whose hand-written one leads nowhere (and
        // starts no resolver thread in the child): the page says "N/A", but it is published.
        const CycleOutcome o = program.CycleAndSaveInChild(WithoutFileRights());
        ::chmod(folder.c_str(), 0755);
        EXPECT_EQ(o.result, 1) << o.Describe();
        EXPECT_TRUE(o.boxes.empty() && o.windowBoxes.empty()) << "settings failures are silent";
        EXPECT_EQ(ReadFile(folder + "/Orvex.ini"), handWritten);
        EXPECT_FALSE(FileExists(folder + "/Orvex.ini.new"));
        EXPECT_FALSE(FileExists(folder + "/.Orvex.ini.orvex-new"));
        EXPECT_FALSE(rig.Published().empty());
    }
    {
        SCOPED_TRACE("writable settings file in a read-only folder: written in place");
        CycleRig rig(*servers, "ini4.html", "conf/Orvex.ini");
        const std::string folder = rig.Work().File("conf");
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        WriteFile(folder + "/Orvex.ini", handWritten);
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        Program program(rig);
        const CycleOutcome o = program.CycleAndSaveInChild(WithoutFileRights());
        ::chmod(folder.c_str(), 0755);
        EXPECT_EQ(o.result, 1) << o.Describe();
        const std::string saved = ReadFile(folder + "/Orvex.ini");
        EXPECT_EQ(saved.rfind("; kept by hand\r\n[LocalSettings]\r\nFTPServer=127.0.0.1\r\n", 0),
                  0u)
            << saved;
        EXPECT_NE(saved.find("RemoteFile=ini4.html\r\n"), std::string::npos) << saved;
        EXPECT_FALSE(FileExists(folder + "/.Orvex.ini.orvex-new"));
    }
    {
        SCOPED_TRACE("read-only settings file: Save says why nothing was saved");
        CycleRig rig(*servers, "ini5.html");
        const std::string ini = rig.Work().File("Orvex.ini");
        ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
        const std::string before = ReadFile(ini);
        Program program(rig);
        program.Cycle();
        program.core.Settings().Save();
        EXPECT_EQ(ReadFile(ini), before);
        EXPECT_EQ(program.window.fields.hostMessage,
                  ini + " is read-only: the settings were not saved.");
        EXPECT_TRUE(program.windowHost.MessageBoxTexts().empty());
    }
    {
        SCOPED_TRACE("missing settings folder");
        CycleRig rig(*servers, "ini2.html", "gone/Orvex.ini");
        Program program(rig);
        const CycleOutcome o = program.Cycle();
        program.core.Settings().Save();
        EXPECT_EQ(o.result, 1) << o.Describe();
        EXPECT_FALSE(FileExists(rig.Work().File("gone")));
        EXPECT_FALSE(rig.Published().empty());
    }
    {
        SCOPED_TRACE("full disk");
        CycleRig rig(*servers, "ini3.html");
        const std::string ini = rig.Work().File("Orvex.ini");
        const std::string before = ReadFile(ini);  // the rig's lookup URL
        Program program(rig);
        const CycleOutcome o =
            program.CycleAndSaveInChild(FileSizeLimit(static_cast<long long>(before.size())));
        EXPECT_EQ(o.result, 1) << o.Describe();
        EXPECT_EQ(ReadFile(ini), before);
        EXPECT_FALSE(FileExists(ini + ".new"));
        EXPECT_EQ(rig.Published(), kHealthyPage);
    }
}

}  // namespace
}  // namespace orvex::test
