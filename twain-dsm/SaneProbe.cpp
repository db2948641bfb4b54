#include "SaneProbe.h"

#include <sane/sane.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <system_error>
#include <tuple>

namespace {

std::string orEmpty(const char *Text)
{
    return Text ? std::string(Text) : std::string();
}

std::vector<std::string> backendsInFile(const std::string &Path)
{
    std::vector<std::string> names;
    std::ifstream in(Path);
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string name;
        if (words >> name)
            names.push_back(name);
    }
    return names;
}

bool exists(const std::string &Path)
{
    return std::ifstream(Path).good();
}

std::string joined(const std::vector<std::string> &Names)
{
    std::string text;
    for (const std::string &name : Names)
        text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "none configured" : text;
}

} // namespace

TSaneListing SaneListingFromEnvironment()
{
    const std::string value = orEmpty(std::getenv("VELLUMORA_SANE"));
    if (value == "0")
        return TSaneListing::Off;
    return value == "network" ? TSaneListing::Network : TSaneListing::Local;
}

std::vector<std::string> ConfiguredSaneBackends()
{
    // SANE_CONFIG_DIR is a colon-separated list; a trailing colon adds the default folder.
    std::vector<std::string> folders;
    const std::string configured = orEmpty(std::getenv("SANE_CONFIG_DIR"));
    std::istringstream parts(configured);
    for (std::string folder; std::getline(parts, folder, ':');)
        if (!folder.empty())
            folders.push_back(folder);
    if (configured.empty() || configured.back() == ':')
        folders.push_back("/etc/sane.d");

    for (const std::string &folder : folders) {
        if (!exists(folder + "/dll.conf"))
            continue;
        std::vector<std::string> names = backendsInFile(folder + "/dll.conf");
        if (DIR *dir = opendir((folder + "/dll.d").c_str())) {
            std::vector<std::string> files;
            while (const dirent *entry = readdir(dir))
                if (entry->d_name[0] != '.')
                    files.emplace_back(entry->d_name);
            closedir(dir);
            std::sort(files.begin(), files.end());
            for (const std::string &file : files)
                for (std::string &name : backendsInFile(folder + "/dll.d/" + file))
                    names.push_back(std::move(name));
        }
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        return names;
    }
    return {};
}

std::timed_mutex &SaneGate()
{
    static auto *gate = new std::timed_mutex; // threads left running may still take it at exit
    return *gate;
}

std::atomic<int> &SaneScansRunning()
{
    static auto *count = new std::atomic<int>(0);
    return *count;
}

TSaneProbe::TSaneProbe() : shared_(std::make_shared<TShared>())
{
}

TSaneProbe::~TSaneProbe()
{
    if (thread_.joinable()) {
        std::unique_lock lock(shared_->Mutex);
        const bool returned = shared_->Finished.wait_for(lock, SaneWaitBound, [this] { return !shared_->Running; });
        lock.unlock();
        // The library is pinned: code of a probe left behind may run on after this.
        if (returned)
            thread_.join();
        else
            thread_.detach();
    }
    if (!thread_.joinable())
        exitSane();
}

bool TSaneProbe::running() const
{
    const std::lock_guard guard(shared_->Mutex);
    return shared_->Running;
}

void TSaneProbe::joinFinished()
{
    if (thread_.joinable() && !running())
        thread_.join();
}

bool TSaneProbe::exitSane()
{
    {
        const std::lock_guard guard(shared_->Mutex);
        if (!shared_->Initialised || shared_->Running)
            return !shared_->Initialised;
    }
    if (SaneScansRunning() > 0)
        return false;
    std::unique_lock gate(SaneGate(), std::defer_lock);
    if (!gate.try_lock_for(SaneWaitBound))
        return false;
    sane_exit();
    const std::lock_guard guard(shared_->Mutex);
    shared_->Initialised = false;
    return true;
}

std::vector<TSaneDevice> TSaneProbe::Begin(TSaneListing Listing, std::chrono::milliseconds Bound)
{
    joinFinished();
    if (thread_.joinable()) {
        report_ = "SANE devices: not probed, an earlier probe has not returned yet";
        return {};
    }
    // Left and taken up again, so that devices plugged in since are found, unless a
    // scan given up on still runs inside it: then its devices are listed as they are.
    const bool init = exitSane();
    if (Listing == TSaneListing::Off) {
        report_ = "SANE devices: not probed (VELLUMORA_SANE=0)";
        return {};
    }
    // SANE's backends must find the USB helpers libsane exports in the global scope:
    // loaded privately (as this library is), each backend starts its own copy of
    // libusb, which takes a thread-local key per backend and session and never gives
    // it back, until the process aborts a few dozen sessions later. Kept loaded too,
    // since the application unloads this library after every acquisition.
    static void *const pinned = dlopen("libsane.so.1", RTLD_NOW | RTLD_GLOBAL | RTLD_NOLOAD | RTLD_NODELETE);
    (void)pinned;

    const std::string backends = joined(ConfiguredSaneBackends());
    const auto started = std::chrono::steady_clock::now();
    {
        const std::lock_guard guard(shared_->Mutex);
        shared_->Running = true;
        shared_->Found.clear();
        shared_->Status = SANE_STATUS_GOOD;
    }
    const bool localOnly = Listing == TSaneListing::Local;
    try {
        thread_ = std::thread([shared = shared_, localOnly, init] { probe(*shared, localOnly, init); });
    } catch (const std::system_error &) {
        const std::lock_guard guard(shared_->Mutex);
        shared_->Running = false;
        report_ = "SANE devices: not probed, no thread could be started";
        return {};
    }

    std::unique_lock lock(shared_->Mutex);
    const bool returned = shared_->Finished.wait_for(lock, Bound, [this] { return !shared_->Running; });
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                        .count();
    if (!returned) {
        report_ = "SANE devices: none listed, the probe gave up after " + std::to_string(ms) + " ms (" + backends + ")";
        return {};
    }
    const int status = shared_->Status;
    std::vector<TSaneDevice> devices = shared_->Found;
    lock.unlock();
    thread_.join();

    const std::string scope = localOnly ? "local devices" : "local and network devices";
    if (status != SANE_STATUS_GOOD) {
        report_ = "SANE devices: none, " + orEmpty(sane_strstatus(static_cast<SANE_Status>(status))) + " (" +
                  backends + "); probed " + scope + " in " + std::to_string(ms) + " ms";
        return {};
    }
    // A stable order: the same devices are listed alike whatever order the backends answer in.
    std::stable_sort(devices.begin(), devices.end(), [](const TSaneDevice &A, const TSaneDevice &B) {
        return std::tie(A.Vendor, A.Model, A.Name) < std::tie(B.Vendor, B.Model, B.Name);
    });
    report_ = "SANE devices: " + std::to_string(devices.size()) + " (" + backends + "); probed " + scope + " in " +
              std::to_string(ms) + " ms";
    return devices;
}

void TSaneProbe::probe(TShared &Shared, bool LocalOnly, bool Init)
{
    SANE_Status status = SANE_STATUS_GOOD;
    bool initialised = false;
    std::vector<TSaneDevice> devices;
    {
        const std::lock_guard gate(SaneGate());
        if (Init) {
            SANE_Int version = 0;
            status = sane_init(&version, nullptr);
            initialised = status == SANE_STATUS_GOOD;
        }
        if (status == SANE_STATUS_GOOD) {
            const SANE_Device **list = nullptr;
            status = sane_get_devices(&list, LocalOnly ? SANE_TRUE : SANE_FALSE);
            for (int i = 0; status == SANE_STATUS_GOOD && list && list[i]; ++i)
                devices.push_back({orEmpty(list[i]->name), orEmpty(list[i]->vendor), orEmpty(list[i]->model),
                                   orEmpty(list[i]->type)});
        }
    }
    const std::lock_guard guard(Shared.Mutex);
    Shared.Found = std::move(devices);
    Shared.Status = status;
    Shared.Initialised = Shared.Initialised || initialised;
    Shared.Running = false;
    Shared.Finished.notify_all();
}

void TSaneProbe::End()
{
    joinFinished();
    if (!thread_.joinable())
        exitSane();
}

std::string TSaneProbe::Report() const
{
    return report_;
}
