// What the plug-in sends, on its way from the audio thread to the thread that prints it: a
// fixed ring with one writer and one reader, no locks, nothing allocated after construction.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

struct ReceivedEvent {
    std::uint64_t sample; // block start plus the event's deltaFrames
    unsigned char data[3];
};

struct RingEntry {
    ReceivedEvent event;
    bool blockEnd; // no event: every block before event.sample has been played
};

class EventRing {
  public:
    static constexpr std::size_t kCapacity = std::size_t{1} << 14;

    EventRing() : entries(kCapacity) {}

    // Audio thread. An entry is seen by the reader only once published; the writer publishes
    // at the end of each block so that the reader finds whole blocks. When the reader falls
    // behind, events are dropped and counted; one place stays free for the block's end.
    void push(const RingEntry& entry) {
        const std::uint64_t room = kCapacity - (entry.blockEnd ? 0 : 1);
        if (written - read.load(std::memory_order_acquire) >= room) {
            if (!entry.blockEnd) lost.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        entries[written % kCapacity] = entry;
        ++written;
    }
    void publish() { published.store(written, std::memory_order_release); }

    // Reading thread: hands each published entry to `take`, oldest first.
    template <typename Take> void drain(Take&& take) {
        const std::uint64_t end = published.load(std::memory_order_acquire);
        std::uint64_t at = read.load(std::memory_order_relaxed);
        for (; at < end; ++at)
            take(entries[at % kCapacity]);
        read.store(at, std::memory_order_release);
    }
    std::uint64_t dropped() const { return lost.load(std::memory_order_relaxed); }

  private:
    std::vector<RingEntry> entries;
    std::uint64_t written = 0; // the writer's own
    std::atomic<std::uint64_t> published{0}, read{0}, lost{0};
};
