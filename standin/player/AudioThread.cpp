#include "standin/player/AudioThread.h"

#include <mmsystem.h>

#include "standin/player/BlockFeeder.h"
#include "standin/player/MessagePump.h"
#include "standin/player/PlayerMessages.h"
#include "standin/player/WavStream.h"

namespace standin {

AudioThread::AudioThread(const Playlist& playlist, DspHost& host, Statistics& stats,
                         PlaybackState& state, HWND mainWindow)
    : playlist_(playlist), host_(host), stats_(stats), state_(state), mainWindow_(mainWindow) {}

bool AudioThread::Start(int position, const AudioSettings& settings) {
    Stop();
    settings_ = settings;
    startPosition_ = position;
    control_.Reset();
    ++generation_;
    thread_.reset(::CreateThread(nullptr, 0, &AudioThread::Entry, this, 0, &threadId_));
    return bool(thread_);
}

void AudioThread::Stop() {
    if (!thread_) return;
    control_.RequestStop();
    // The plug-in may send to the main window from ModifySamples; keep answering while joining.
    WaitAnsweringSentMessages(thread_.get(), INFINITE);
    thread_.reset();
    control_.SetPaused(false);
}

DWORD WINAPI AudioThread::Entry(void* self) {
    try {
        static_cast<AudioThread*>(self)->Run();
    } catch (...) {
        static_cast<AudioThread*>(self)->state_.state = PlayState::Stopped;
    }
    return 0;
}

void AudioThread::Run() {
    ::timeBeginPeriod(1);  // millisecond waits, so pacing stays close to the due times
    BlockFeeder feeder(host_, stats_, settings_.verify);
    // Twice a block, as the player's buffer: a plug-in may hand on more than it was given.
    std::vector<uint8_t> block;
    int index = startPosition_;
    int unreadableInARow = 0;
    bool ended = false;
    while (!ended) {
        Pacer pacer(settings_.realtime);
        switch (PlayTrack(index, pacer, block, feeder)) {
        case TrackEnd::Stop:
            ::timeEndPeriod(1);
            return;
        case TrackEnd::Unreadable:
            ++unreadableInARow;
            break;
        case TrackEnd::Finished:
        case TrackEnd::Next:
            unreadableInARow = 0;
            break;
        }
        ++index;
        if (index >= playlist_.Size()) {
            index = 0;
            ended = !settings_.loop;
        }
        if (unreadableInARow >= playlist_.Size()) ended = true;
    }
    state_.state = PlayState::Stopped;
    ::PostMessageA(mainWindow_, kMsgPlaylistEnded, 0, generation_);
    ::timeEndPeriod(1);
}

AudioThread::TrackEnd AudioThread::PlayTrack(int index, Pacer& pacer, std::vector<uint8_t>& block,
                                              BlockFeeder& feeder) {
    const PlaylistEntry* entry = playlist_.At(index);
    WavStream stream;
    if (entry == nullptr || !entry->read.ok || !stream.Open(entry->widePath, entry->read.info)) {
        stats_.RecordTrackSkipped();
        return TrackEnd::Unreadable;
    }
    const WavFormat& format = entry->read.info.format;
    block.assign(size_t(kBlockFrames) * 2 * format.BlockAlign(), 0);
    // The position changes before the window hears of the track, as the player does it.
    state_.position = index;
    stats_.RecordTrackStarted();
    ::PostMessageA(mainWindow_, kMsgTrackStarted, WPARAM(index), generation_);
    if (control_.WaitForAnnouncement() == WaitOutcome::Stop) return TrackEnd::Stop;
    pacer.StartTrack(format.sampleRate);
    uint64_t played = 0;
    for (;;) {
        const uint32_t frames = stream.ReadFrames(block.data(), kBlockFrames);
        if (frames == 0) return TrackEnd::Finished;
        switch (control_.WaitForBlock(pacer, played)) {
        case WaitOutcome::Stop:
            return TrackEnd::Stop;
        case WaitOutcome::Next:
            return TrackEnd::Next;
        case WaitOutcome::Due:
            break;
        }
        feeder.Feed(block, frames, format);
        played += frames;
    }
}

}  // namespace standin
