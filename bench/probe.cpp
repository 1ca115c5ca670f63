// Starts a program on the X display and reports, from the X server's own
// events, when its window titled <title> is mapped, when the program first
// draws into it (the DAMAGE extension's first report of it), and when its
// tray icon is docked (its override-redirect window taken into another
// window and mapped there). Then it reads the process's memory and, when asked, its
// CPU time and context switches over an idle stretch.
//
//   bench-probe <title> <idle seconds> <program> [args...]
//
// Prints one line: key=value pairs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string windowName(xcb_connection_t *c, xcb_window_t w)
{
    auto cookie = xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    xcb_get_property_reply_t *reply = xcb_get_property_reply(c, cookie, nullptr);
    std::string name;
    if (reply) {
        name.assign(static_cast<const char *>(xcb_get_property_value(reply)),
                    xcb_get_property_value_length(reply));
        std::free(reply);
    }
    return name;
}

long statusField(pid_t pid, const char *task, const std::string &field)
{
    std::ifstream in(std::string("/proc/") + std::to_string(pid) + task + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
    return -1;
}

struct Usage
{
    double cpuMs = 0;
    long switches = 0;
};

/// CPU time and context switches of every thread of the process.
Usage usage(pid_t pid)
{
    Usage u;
    const long tick = sysconf(_SC_CLK_TCK);
    const std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = opendir(taskDir.c_str());
    if (!dir)
        return u;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string task = std::string("/task/") + entry->d_name;
        u.switches += statusField(pid, task.c_str(), "voluntary_ctxt_switches");
        u.switches += statusField(pid, task.c_str(), "nonvoluntary_ctxt_switches");
        std::ifstream stat("/proc/" + std::to_string(pid) + task + "/stat");
        std::string content((std::istreambuf_iterator<char>(stat)),
                            std::istreambuf_iterator<char>());
        const auto close = content.rfind(')');
        if (close == std::string::npos)
            continue;
        // Fields after the command: state is 3, utime 14, stime 15.
        char *p = content.data() + close + 2;
        unsigned long long utime = 0, stime = 0;
        for (int field = 3; field <= 15; ++field) {
            char *end = nullptr;
            const unsigned long long value = std::strtoull(p, &end, 10);
            if (field == 14)
                utime = value;
            if (field == 15)
                stime = value;
            p = end ? end + 1 : p;
            if (field == 3) { // state is a letter, skip it
                while (*p == ' ')
                    ++p;
            }
        }
        u.cpuMs += double(utime + stime) * 1000.0 / double(tick);
    }
    closedir(dir);
    return u;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <title> <idle seconds> <program> [args...]\n", argv[0]);
        return 2;
    }
    const std::string title = argv[1];
    const int idleSeconds = std::atoi(argv[2]);

    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damage || !damage->present) {
        std::fprintf(stderr, "no DAMAGE extension\n");
        return 1;
    }
    std::free(xcb_damage_query_version_reply(
        c, xcb_damage_query_version(c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
        nullptr));
    const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_flush(c);

    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[3], nullptr, nullptr, argv + 3, environ) != 0) {
        std::perror("posix_spawn");
        return 1;
    }

    std::set<xcb_window_t> overrideRedirect;
    std::set<xcb_window_t> embedded;
    std::map<xcb_window_t, xcb_window_t> parentOf;
    double mainMs = -1;
    double paintMs = -1;
    double dockedMs = -1;
    const int fd = xcb_get_file_descriptor(c);
    while ((mainMs < 0 || paintMs < 0 || dockedMs < 0) && msSince(start) < 30000) {
        xcb_generic_event_t *event = xcb_poll_for_event(c);
        if (!event) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(fd, &set);
            timeval timeout{0, 100000};
            select(fd + 1, &set, nullptr, nullptr, &timeout);
            continue;
        }
        const double at = msSince(start);
        switch (event->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
            auto *e = reinterpret_cast<xcb_create_notify_event_t *>(event);
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(c, e->window, XCB_CW_EVENT_MASK, &mask);
            xcb_flush(c);
            if (e->override_redirect)
                overrideRedirect.insert(e->window);
            // Told the first time anything is drawn into it.
            xcb_damage_create(c, xcb_generate_id(c), e->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
            xcb_flush(c);
            break;
        }
        case XCB_REPARENT_NOTIFY: {
            // Seen on the root window for a window taken into a window
            // manager's frame, and on the window itself when a tray host
            // takes an override-redirect window in.
            auto *e = reinterpret_cast<xcb_reparent_notify_event_t *>(event);
            if (e->parent == root)
                break;
            parentOf[e->window] = e->parent;
            if (overrideRedirect.count(e->window))
                embedded.insert(e->window);
            break;
        }
        case XCB_MAP_NOTIFY: {
            auto *e = reinterpret_cast<xcb_map_notify_event_t *>(event);
            if (embedded.count(e->window) && e->window == e->event) {
                if (dockedMs < 0)
                    dockedMs = at;
                break;
            }
            // The main window is on screen when its frame is (or it is
            // itself, without a window manager).
            if (mainMs >= 0 || e->event != root)
                break;
            xcb_window_t client = e->window;
            for (const auto &[child, parent] : parentOf) {
                if (parent == e->window)
                    client = child;
            }
            if (windowName(c, client) == title)
                mainMs = at;
            break;
        }
        default:
            if (event->response_type == damage->first_event + XCB_DAMAGE_NOTIFY && paintMs < 0) {
                auto *e = reinterpret_cast<xcb_damage_notify_event_t *>(event);
                if (windowName(c, e->drawable) == title)
                    paintMs = at;
            }
            break;
        }
        std::free(event);
    }

    // Memory once everything is up and has had a moment to settle.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long peakKb = statusField(pid, "", "VmHWM");
    const long settledKb = statusField(pid, "", "VmRSS");

    double idleCpuMs = -1;
    long idleSwitches = -1;
    if (idleSeconds > 0) {
        const Usage before = usage(pid);
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        const Usage after = usage(pid);
        idleCpuMs = after.cpuMs - before.cpuMs;
        idleSwitches = after.switches - before.switches;
    }

    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    xcb_disconnect(c);

    std::printf("main_ms=%.1f paint_ms=%.1f docked_ms=%.1f peak_kb=%ld settled_kb=%ld idle_s=%d "
                "idle_cpu_ms=%.0f idle_switches=%ld\n",
                mainMs, paintMs, dockedMs, peakKb, settledKb, idleSeconds, idleCpuMs, idleSwitches);
    return mainMs >= 0 ? 0 : 1;
}
