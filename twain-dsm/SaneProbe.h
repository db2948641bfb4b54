#pragma once

// Which SANE devices a manager session lists. Backends can take seconds to answer
// (network discovery, a slow USB bus), so sane_init and sane_get_devices run on a
// thread of their own and the session waits only a bounded time for them. A probe
// that overran keeps SANE to itself until it returns: no other SANE call starts
// meanwhile, and its devices are not listed.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How long the manager waits for SANE to give way (a busy gate, a scan asked to stop)
// before it gives up on it and goes on.
inline constexpr std::chrono::milliseconds SaneWaitBound{2000};

// SANE's global calls (init, exit, device list, open, close) never run on two threads
// at once. Threads of the manager's own take it as it comes; the application's thread
// waits at most SaneWaitBound.
std::timed_mutex &SaneGate();

// Scan threads still inside SANE, those a source gave up on included: SANE is not left
// (sane_exit) while any of them runs.
std::atomic<int> &SaneScansRunning();

struct TSaneDevice
{
    std::string Name;     // what sane_open takes, e.g. "test:0" or "genesys:libusb:001:004"
    std::string Vendor;
    std::string Model;
    std::string Type;
};

// What VELLUMORA_SANE asks for: "0" no SANE at all; unset or anything else local
// devices only; "network" network scanners too (their discovery is the slow part).
enum class TSaneListing { Off, Local, Network };
TSaneListing SaneListingFromEnvironment();

// The backends the SANE configuration loads (dll.conf and dll.d in the first folder
// of SANE_CONFIG_DIR that holds a dll.conf, else /etc/sane.d), for the probe report.
std::vector<std::string> ConfiguredSaneBackends();

class TSaneProbe
{
public:
    TSaneProbe();
    // Waits at most SaneWaitBound for a probe still running, which is then left to
    // finish on its own.
    ~TSaneProbe();
    TSaneProbe(const TSaneProbe &) = delete;
    TSaneProbe &operator=(const TSaneProbe &) = delete;

    // Initialises SANE and lists its devices, waiting at most Bound. The devices,
    // sorted by vendor, model and name; empty when SANE is off, failed or overran.
    std::vector<TSaneDevice> Begin(TSaneListing Listing, std::chrono::milliseconds Bound);
    // Leaves SANE (sane_exit) once every device of the session is closed. A probe
    // still running, or a scan given up on, keeps it initialised until a later End.
    void End();

    // One line on the last probe, for the application's run log.
    std::string Report() const;

private:
    // What the probe thread shares; it outlives a probe the manager stopped waiting for.
    struct TShared
    {
        std::mutex Mutex;
        std::condition_variable Finished;
        bool Running = false;      // the thread is inside SANE
        bool Initialised = false;  // sane_exit is owed
        int Status = 0;            // SANE_Status of the probe
        std::vector<TSaneDevice> Found;
    };

    void joinFinished();
    bool running() const;
    // Leaves SANE when nothing runs inside it any more; false when it must stay.
    bool exitSane();
    // The probe thread's work: sane_init (unless SANE already is), then the devices.
    static void probe(TShared &Shared, bool LocalOnly, bool Init);

    std::shared_ptr<TShared> shared_;
    std::thread thread_;
    std::string report_ = "SANE devices: not probed yet";
};
