// A stand-in for the kernel's ALSA sequencer (/dev/snd/seq), preloaded into a host on machines
// without one (containers, build servers): Qtractor refuses to start its engine when the
// sequencer cannot be opened, even for a session that needs no MIDI hardware. It answers ALSA's
// sequencer protocol for the clients of this one process: names, ports, queues with a clock that
// runs on real time, and subscriptions that are accepted; none of the events written ever
// arrive, as on a machine with no MIDI devices. Where MORVO_ALSA_SEQ_EVENTS names a file, the
// Control Change messages written and what the queues' clocks did are kept there, one line each
// (see recordControl and recordQueue), so that a test sees what the host sent out of its ports.
// usage: [MORVO_ALSA_SEQ_EVENTS=FILE] LD_PRELOAD=libmorvo_alsa_seq_standin.so HOST...
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <sound/asequencer.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr const char* kDevice = "/dev/snd/seq";
// ALSA numbers user clients from 128 on; the system client 0 owns the timer and announce ports.
constexpr int kFirstClient = 128;
constexpr int kMaxClients = 8;
constexpr int kMaxPorts = 64;
constexpr int kMaxQueues = 8;

struct Port {
    bool used = false;
    snd_seq_port_info info{};
};

struct Client {
    int fd = -1; // -1 while free
    snd_seq_client_info info{};
    Port ports[kMaxPorts];
};

// A queue's clock: where it stood when last started or moved, and since when it runs.
struct Queue {
    bool used = false;
    snd_seq_queue_info info{};
    snd_seq_queue_tempo tempo{};
    bool running = false;
    double seconds = 0; // position at the last start, stop or move
    timespec since{};
};

std::mutex lock;
Client clients[kMaxClients];
Queue queues[kMaxQueues];
// How many clients are open, read without the lock: every read and write of the process passes
// here, and while no client is open they go straight on.
std::atomic<int> openClients{0};
// The file named by MORVO_ALSA_SEQ_EVENTS, opened with the first client; -1 without one.
int recordFd = -1;
double recordSince = 0;

template <typename F> F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using WriteFunction = ssize_t (*)(int, const void*, size_t);
WriteFunction realWrite() {
    static const WriteFunction function = real<WriteFunction>("write");
    return function;
}

void say(const char* message) {
    (void)!realWrite()(2, message, std::strlen(message));
}

Client* clientOf(int fd) {
    for (Client& c : clients)
        if (c.fd >= 0 && c.fd == fd) return &c;
    return nullptr;
}

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double positionOf(const Queue& q) {
    if (!q.running) return q.seconds;
    return q.seconds + now() - (double(q.since.tv_sec) + double(q.since.tv_nsec) * 1e-9);
}

void setPosition(Queue& q, double seconds, bool running) {
    q.seconds = seconds;
    q.running = running;
    clock_gettime(CLOCK_MONOTONIC, &q.since);
}

double secondsPerTick(const Queue& q) {
    return q.tempo.tempo * 1e-6 / q.tempo.ppq;
}

Queue* queueAt(int index) {
    if (index < 0 || index >= kMaxQueues || !queues[index].used) return nullptr;
    return &queues[index];
}

void openRecord() {
    static bool tried = false;
    if (tried) return;
    tried = true;
    recordSince = now();
    const char* path = std::getenv("MORVO_ALSA_SEQ_EVENTS");
    if (path == nullptr || *path == '\0') return;
    recordFd = real<int (*)(const char*, int, ...)>("open")(
        path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (recordFd < 0) say("ALSA sequencer stand-in: MORVO_ALSA_SEQ_EVENTS cannot be written\n");
}

void recordLine(const char* line, int length) {
    if (recordFd >= 0 && length > 0) (void)!realWrite()(recordFd, line, size_t(length));
}

// A Control Change written by one of `self`'s ports, one line:
//   control SECONDS TICK PPQ STATUS CONTROLLER VALUE PORT
// the seconds since the first client opened, the tick its queue schedules it at and that
// queue's ticks a beat (-1 and 0 when it goes out at once), the message, and the name of the
// port that sent it.
void recordControl(const Client& self, const snd_seq_event& e) {
    long long tick = -1;
    int ppq = 0;
    const bool scheduled = e.queue != SNDRV_SEQ_QUEUE_DIRECT &&
                           (e.flags & SNDRV_SEQ_TIME_STAMP_MASK) == SNDRV_SEQ_TIME_STAMP_TICK;
    if (const Queue* q = scheduled ? queueAt(e.queue) : nullptr) {
        tick = e.time.tick;
        if ((e.flags & SNDRV_SEQ_TIME_MODE_MASK) == SNDRV_SEQ_TIME_MODE_REL)
            tick += (long long)(positionOf(*q) / secondsPerTick(*q));
        ppq = q->tempo.ppq;
    }
    const char* port = e.source.port < kMaxPorts && self.ports[e.source.port].used
                           ? self.ports[e.source.port].info.name
                           : "?";
    char line[160];
    recordLine(line, std::snprintf(line, sizeof line, "control %.6f %lld %d %u %u %d %.64s\n",
                                   now() - recordSince, tick, ppq,
                                   0xb0u | (e.data.control.channel & 0x0fu), e.data.control.param,
                                   e.data.control.value, port));
}

// A queue's clock started, continued, stopped or moved, one line: "queue SECONDS WHAT".
void recordQueue(const char* what) {
    char line[64];
    recordLine(line,
               std::snprintf(line, sizeof line, "queue %.6f %s\n", now() - recordSince, what));
}

int openClient() {
    std::lock_guard<std::mutex> guard(lock);
    openRecord();
    for (int i = 0; i < kMaxClients; ++i) {
        if (clients[i].fd >= 0) continue;
        // An event counter is never readable (no events arrive) and always writable.
        int fd = eventfd(0, EFD_CLOEXEC);
        if (fd < 0) return -1;
        clients[i] = Client{};
        clients[i].fd = fd;
        clients[i].info.client = kFirstClient + i;
        clients[i].info.type = USER_CLIENT;
        clients[i].info.pid = getpid();
        openClients.fetch_add(1, std::memory_order_relaxed);
        say("ALSA sequencer stand-in: a client opened\n");
        return fd;
    }
    errno = EBUSY;
    return -1;
}

// Queue control events addressed to the system timer start, stop and move their queue; they and
// the Control Changes are recorded where asked.
void writeEvents(const Client& self, const char* buffer, size_t length) {
    size_t at = 0;
    while (at + sizeof(snd_seq_event) <= length) {
        snd_seq_event e;
        std::memcpy(&e, buffer + at, sizeof e);
        at += sizeof e;
        if ((e.flags & SNDRV_SEQ_EVENT_LENGTH_MASK) == SNDRV_SEQ_EVENT_LENGTH_VARIABLE)
            at += e.data.ext.len;
        if (recordFd >= 0 && e.type == SNDRV_SEQ_EVENT_CONTROLLER) recordControl(self, e);
        if (e.dest.client != SNDRV_SEQ_CLIENT_SYSTEM || e.dest.port != SNDRV_SEQ_PORT_SYSTEM_TIMER)
            continue;
        Queue* q = queueAt(e.data.queue.queue);
        if (q == nullptr) continue;
        const auto& p = e.data.queue.param;
        switch (e.type) {
        case SNDRV_SEQ_EVENT_START:
            setPosition(*q, 0, true);
            recordQueue("start");
            break;
        case SNDRV_SEQ_EVENT_CONTINUE:
            setPosition(*q, positionOf(*q), true);
            recordQueue("continue");
            break;
        case SNDRV_SEQ_EVENT_STOP:
            setPosition(*q, positionOf(*q), false);
            recordQueue("stop");
            break;
        case SNDRV_SEQ_EVENT_SETPOS_TICK:
            setPosition(*q, p.time.tick * secondsPerTick(*q), q->running);
            recordQueue("position");
            break;
        case SNDRV_SEQ_EVENT_SETPOS_TIME:
            setPosition(*q, p.time.time.tv_sec + p.time.time.tv_nsec * 1e-9, q->running);
            recordQueue("position");
            break;
        case SNDRV_SEQ_EVENT_TEMPO:
            if (p.value > 0) {
                setPosition(*q, positionOf(*q), q->running);
                q->tempo.tempo = unsigned(p.value);
            }
            break;
        default: break;
        }
    }
}

template <typename T> T& arg(void* p) {
    return *static_cast<T*>(p);
}

int fail(int error) {
    errno = error;
    return -1;
}

int control(Client& self, unsigned long request, void* p) {
    switch (_IOC_NR(request)) {
    case _IOC_NR(SNDRV_SEQ_IOCTL_PVERSION): arg<int>(p) = SNDRV_SEQ_VERSION; return 0;
    case _IOC_NR(SNDRV_SEQ_IOCTL_CLIENT_ID): arg<int>(p) = self.info.client; return 0;
    case _IOC_NR(SNDRV_SEQ_IOCTL_USER_PVERSION): return 0;
    case _IOC_NR(SNDRV_SEQ_IOCTL_SYSTEM_INFO): {
        auto& s = arg<snd_seq_system_info>(p);
        s.queues = kMaxQueues;
        s.clients = kFirstClient + kMaxClients;
        s.ports = kMaxPorts;
        s.channels = 256;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_RUNNING_MODE): return 0;
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_CLIENT_INFO):
    case _IOC_NR(SNDRV_SEQ_IOCTL_QUERY_NEXT_CLIENT): {
        auto& info = arg<snd_seq_client_info>(p);
        const bool next = _IOC_NR(request) == _IOC_NR(SNDRV_SEQ_IOCTL_QUERY_NEXT_CLIENT);
        for (const Client& c : clients) {
            if (c.fd < 0) continue;
            if (next ? c.info.client > info.client : c.info.client == info.client) {
                info = c.info;
                info.num_ports = 0;
                for (const Port& port : c.ports)
                    info.num_ports += port.used ? 1 : 0;
                return 0;
            }
        }
        return fail(ENOENT);
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_SET_CLIENT_INFO): {
        const auto& info = arg<snd_seq_client_info>(p);
        std::memcpy(self.info.name, info.name, sizeof info.name);
        self.info.filter = info.filter;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_CREATE_PORT): {
        auto& info = arg<snd_seq_port_info>(p);
        int number = 0;
        if (info.flags & SNDRV_SEQ_PORT_FLG_GIVEN_PORT)
            number = info.addr.port;
        else
            while (number < kMaxPorts && self.ports[number].used)
                ++number;
        if (number >= kMaxPorts || self.ports[number].used) return fail(EBUSY);
        info.addr.client = (unsigned char)self.info.client;
        info.addr.port = (unsigned char)number;
        self.ports[number].used = true;
        self.ports[number].info = info;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_DELETE_PORT): {
        const auto& info = arg<snd_seq_port_info>(p);
        if (info.addr.port < kMaxPorts) self.ports[info.addr.port].used = false;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_PORT_INFO):
    case _IOC_NR(SNDRV_SEQ_IOCTL_QUERY_NEXT_PORT): {
        auto& info = arg<snd_seq_port_info>(p);
        const bool next = _IOC_NR(request) == _IOC_NR(SNDRV_SEQ_IOCTL_QUERY_NEXT_PORT);
        for (const Client& c : clients) {
            if (c.fd < 0 || c.info.client != info.addr.client) continue;
            for (int i = next ? info.addr.port + 1 : info.addr.port; i < kMaxPorts; ++i) {
                if (c.ports[i].used) {
                    info = c.ports[i].info;
                    return 0;
                }
                if (!next) break;
            }
        }
        return fail(ENOENT);
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_SET_PORT_INFO): {
        const auto& info = arg<snd_seq_port_info>(p);
        if (info.addr.port >= kMaxPorts || !self.ports[info.addr.port].used) return fail(ENOENT);
        self.ports[info.addr.port].info = info;
        return 0;
    }
    // Connections are accepted, and none is ever listed: no other client exists to take part.
    case _IOC_NR(SNDRV_SEQ_IOCTL_SUBSCRIBE_PORT):
    case _IOC_NR(SNDRV_SEQ_IOCTL_UNSUBSCRIBE_PORT): return 0;
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_SUBSCRIPTION):
    case _IOC_NR(SNDRV_SEQ_IOCTL_QUERY_SUBS): return fail(ENOENT);
    case _IOC_NR(SNDRV_SEQ_IOCTL_CREATE_QUEUE): {
        auto& info = arg<snd_seq_queue_info>(p);
        for (int i = 0; i < kMaxQueues; ++i) {
            if (queues[i].used) continue;
            queues[i] = Queue{};
            queues[i].used = true;
            info.queue = i;
            info.owner = self.info.client;
            queues[i].info = info;
            // ALSA's defaults: 120 beats a minute, 96 ticks a beat.
            queues[i].tempo.queue = i;
            queues[i].tempo.tempo = 500000;
            queues[i].tempo.ppq = 96;
            return 0;
        }
        return fail(ENOMEM);
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_DELETE_QUEUE): {
        if (Queue* q = queueAt(arg<snd_seq_queue_info>(p).queue)) q->used = false;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_QUEUE_INFO):
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_NAMED_QUEUE): {
        auto& info = arg<snd_seq_queue_info>(p);
        const bool named = _IOC_NR(request) == _IOC_NR(SNDRV_SEQ_IOCTL_GET_NAMED_QUEUE);
        for (const Queue& q : queues) {
            if (q.used && (named ? std::strncmp(q.info.name, info.name, sizeof info.name) == 0
                                 : q.info.queue == info.queue)) {
                info = q.info;
                return 0;
            }
        }
        return fail(EINVAL);
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_SET_QUEUE_INFO): {
        auto& info = arg<snd_seq_queue_info>(p);
        Queue* q = queueAt(info.queue);
        if (q == nullptr) return fail(EINVAL);
        q->info = info;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_QUEUE_STATUS): {
        auto& status = arg<snd_seq_queue_status>(p);
        const Queue* q = queueAt(status.queue);
        if (q == nullptr) return fail(EINVAL);
        const double seconds = positionOf(*q);
        status.tick = snd_seq_tick_time_t(seconds / secondsPerTick(*q));
        status.time.tv_sec = unsigned(seconds);
        status.time.tv_nsec = unsigned((seconds - double(status.time.tv_sec)) * 1e9);
        status.running = q->running ? 1 : 0;
        status.events = 0;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_QUEUE_TEMPO): {
        auto& tempo = arg<snd_seq_queue_tempo>(p);
        const Queue* q = queueAt(tempo.queue);
        if (q == nullptr) return fail(EINVAL);
        tempo = q->tempo;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_SET_QUEUE_TEMPO): {
        const auto& tempo = arg<snd_seq_queue_tempo>(p);
        Queue* q = queueAt(tempo.queue);
        if (q == nullptr || tempo.tempo == 0 || tempo.ppq <= 0) return fail(EINVAL);
        setPosition(*q, positionOf(*q), q->running);
        q->tempo = tempo;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_CLIENT_POOL): {
        auto& pool = arg<snd_seq_client_pool>(p);
        pool.output_pool = pool.input_pool = pool.output_free = pool.input_free = 500;
        pool.output_room = 250;
        return 0;
    }
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_QUEUE_TIMER):
    case _IOC_NR(SNDRV_SEQ_IOCTL_SET_QUEUE_TIMER):
    case _IOC_NR(SNDRV_SEQ_IOCTL_GET_QUEUE_CLIENT):
    case _IOC_NR(SNDRV_SEQ_IOCTL_SET_QUEUE_CLIENT):
    case _IOC_NR(SNDRV_SEQ_IOCTL_SET_CLIENT_POOL):
    case _IOC_NR(SNDRV_SEQ_IOCTL_REMOVE_EVENTS): return 0;
    default: break;
    }
    say("ALSA sequencer stand-in: an unknown request, refused\n");
    return fail(ENOTTY);
}

} // namespace

// The preloaded definitions must be seen from outside, whatever the build hides by default.
#pragma GCC visibility push(default)
extern "C" {

int open(const char* path, int flags, ...) {
    if (std::strcmp(path, kDevice) == 0) return openClient();
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list list;
        va_start(list, flags);
        mode = va_arg(list, mode_t);
        va_end(list);
    }
    return real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

// What a fortified open() without a mode calls; ALSA opens its devices this way.
int __open_2(const char* path, int flags) {
    if (std::strcmp(path, kDevice) == 0) return openClient();
    return real<int (*)(const char*, int)>("__open_2")(path, flags);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list list;
    va_start(list, request);
    void* p = va_arg(list, void*);
    va_end(list);
    if (openClients.load(std::memory_order_relaxed) > 0) {
        std::lock_guard<std::mutex> guard(lock);
        if (Client* self = clientOf(fd)) return control(*self, request, p);
    }
    return real<int (*)(int, unsigned long, void*)>("ioctl")(fd, request, p);
}

ssize_t write(int fd, const void* buffer, size_t length) {
    if (openClients.load(std::memory_order_relaxed) > 0) {
        std::lock_guard<std::mutex> guard(lock);
        if (const Client* self = clientOf(fd)) {
            writeEvents(*self, static_cast<const char*>(buffer), length);
            return ssize_t(length);
        }
    }
    return realWrite()(fd, buffer, length);
}

ssize_t read(int fd, void* buffer, size_t length) {
    if (openClients.load(std::memory_order_relaxed) > 0) {
        std::lock_guard<std::mutex> guard(lock);
        if (clientOf(fd) != nullptr) return fail(EAGAIN);
    }
    using ReadFunction = ssize_t (*)(int, void*, size_t);
    static const ReadFunction realRead = real<ReadFunction>("read");
    return realRead(fd, buffer, length);
}

int close(int fd) {
    if (openClients.load(std::memory_order_relaxed) > 0) {
        std::lock_guard<std::mutex> guard(lock);
        if (Client* self = clientOf(fd)) {
            self->fd = -1;
            openClients.fetch_sub(1, std::memory_order_relaxed);
        }
    }
    return real<int (*)(int)>("close")(fd);
}
}
#pragma GCC visibility pop
