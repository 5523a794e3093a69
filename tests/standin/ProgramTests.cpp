// The command line, the built-in playlist and the ombrel_player executable itself.
#include <windows.h>

#include <gtest/gtest.h>

#include "standin/player/CommandLine.h"
#include "standin/player/DefaultPlaylist.h"
#include "standin/player/JapaneseTags.h"
#include "standin/player/Playlist.h"
#include "standin/player/TempFolder.h"
#include "win/UniqueAny.h"

using namespace standin;

namespace ombrel::test {
namespace {

TEST(CommandLineParse, OptionsAndFiles) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--plugin", "C:\\p\\dsp_ombrel.dll", "a.wav", "--pace", "fast",
                                  "--loop", "--quit-after", "12.5", "--config-after", "1",
                                  "--command", "40001@2", "--command", "0x9C42@3.5",
                                  "--post-notify", "--verify", "--exit-at-end", "--version", "2.95", "b.wav"},
                                 &line, &error))
        << error;
    EXPECT_EQ(line.pluginPath, "C:\\p\\dsp_ombrel.dll");
    ASSERT_EQ(line.files.size(), 2u);
    EXPECT_EQ(line.files[1], "b.wav");
    EXPECT_FALSE(line.realtime);
    EXPECT_TRUE(line.loop);
    EXPECT_DOUBLE_EQ(line.quitAfter, 12.5);
    EXPECT_DOUBLE_EQ(line.configAfter, 1.0);
    ASSERT_EQ(line.commands.size(), 2u);
    EXPECT_EQ(line.commands[0].id, 40001);
    EXPECT_EQ(line.commands[1].id, 0x9C42);
    EXPECT_DOUBLE_EQ(line.commands[1].seconds, 3.5);
    EXPECT_TRUE(line.postNotify && line.verify && line.exitAtEnd);
    EXPECT_EQ(line.version, 0x2095u);
    unsigned version = 0;
    EXPECT_TRUE(ParsePlayerVersion("5.3", &version));
    EXPECT_EQ(version, 0x5030u) << "the first version with UTF-16 requests";
}

TEST(CommandLineParse, DefaultsWithoutArguments) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({}, &line, &error));
    EXPECT_TRUE(line.realtime);
    EXPECT_TRUE(line.files.empty());
    EXPECT_TRUE(line.pluginPath.empty());
    EXPECT_LT(line.quitAfter, 0);
    EXPECT_EQ(line.version, 0x5066u) << "5.666, with UTF-16 requests";
}

TEST(CommandLineParse, RejectsWhatItDoesNotUnderstand) {
    const std::vector<std::vector<std::string>> bad = {
        {"--pace", "slow"},      {"--pace"},          {"--quit-after", "soon"},
        {"--quit-after", "-1"},  {"--command", "12"}, {"--command", "x@1"},
        {"--command", "5@"},     {"--frobnicate"},    {"--plugin"},
        {"--version", "5"},      {"--version", "v5.6"}};
    for (const auto& args : bad) {
        CommandLine line;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(args, &line, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(DefaultPlaylistFiles, TracksReadBackWithTheirTitles) {
    TempFolder folder("ombrel-default-test");
    ASSERT_TRUE(folder.IsValid());
    std::string error;
    const std::vector<std::string> paths = WriteDefaultPlaylist(folder.Path(), &error);
    ASSERT_EQ(paths.size(), 4u) << error;
    const std::vector<SynthTrack> tracks = DefaultTracks();
    Playlist playlist(paths);
    for (int i = 0; i < playlist.Size(); ++i) {
        const PlaylistEntry& e = *playlist.At(i);
        ASSERT_TRUE(e.read.ok) << e.path << ": " << e.read.error;
        EXPECT_EQ(e.read.info.format, tracks[i].format) << Describe(e.read.info.format);
        EXPECT_EQ(e.read.info.frames, uint32_t(tracks[i].seconds * tracks[i].format.sampleRate));
    }
    EXPECT_EQ(playlist.At(0)->title, "Ombrel Test Ensemble - Concert Pitch");
    EXPECT_EQ(playlist.At(1)->title, std::string(JapaneseArtist()) + " - " + JapaneseTitle());
    EXPECT_NE(playlist.At(2)->title.find("%TITLE%"), std::string::npos) << playlist.At(2)->title;
    EXPECT_EQ(playlist.At(3)->title, "04 No Artist.wav");
    EXPECT_FALSE(playlist.At(3)->read.info.tags.artist.has_value());
    EXPECT_TRUE(playlist.At(3)->read.info.tags.album.has_value());
}

// Runs ombrel_player.exe from beside this test and collects its output and exit code.
struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

ProgramRun RunPlayer(const std::string& arguments) {
    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string exe(self);
    exe = exe.substr(0, exe.find_last_of('\\') + 1) + "ombrel_player.exe";
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ProgramRun run;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    win::UniqueHandle reader(readEnd);
    win::UniqueHandle writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string command = "\"" + exe + "\" " + arguments;
    if (!::CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &si, &pi)) {
        run.output = "CreateProcess failed: " + std::to_string(::GetLastError());
        return run;
    }
    win::UniqueHandle process(pi.hProcess);
    win::UniqueHandle thread(pi.hThread);
    writer.reset();
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(reader.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        run.output.append(buffer, got);
    ::WaitForSingleObject(process.get(), 60000);
    ::GetExitCodeProcess(process.get(), &run.exitCode);
    return run;
}

TEST(PlayerProgram, HelpPrintsTheUsage) {
    const ProgramRun run = RunPlayer("--help");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("--quit-after SECONDS"), std::string::npos) << run.output;
}

TEST(PlayerProgram, PlaysTheBuiltInPlaylistToTheEnd) {
    const ProgramRun run = RunPlayer("--pace fast --exit-at-end --verify");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    for (const char* line : {"track 1 started: Ombrel Test Ensemble - Concert Pitch",
                             "track 4 started: 04 No Artist.wav", "playlist ended"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << " missing in\n" << run.output;
}

TEST(PlayerProgram, MissingPluginOrBadArgumentsFail) {
    const ProgramRun missing = RunPlayer("--plugin C:\\nowhere\\dsp_absent.dll --pace fast");
    EXPECT_EQ(missing.exitCode, 1u) << missing.output;
    EXPECT_NE(missing.output.find("plug-in not loaded"), std::string::npos) << missing.output;
    const ProgramRun bad = RunPlayer("--pace sideways");
    EXPECT_EQ(bad.exitCode, 2u) << bad.output;
}

TEST(PlayerProgram, QuitAfterEndsALoopingRun) {
    const ProgramRun run = RunPlayer("--loop --quit-after 1");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("quit-after reached"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace ombrel::test
