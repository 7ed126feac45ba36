// korimado-event: sends one event to the running Korimado over the session bus and prints the
// reply's value as JSON. Exit status 0 on success, 1 when Korimado answers with an error, 2 when
// it cannot be reached, refuses, does not answer in time, or the arguments are wrong.
//
// Scripts call it in loops, so it links no Qt: loading Qt took most of a run.
#include "platform/wire/EventBusNames.h"
#include "EventCommandLine.h"
#include "EventJson.h"
#include "platform/wire/MappedFile.h"
#include "platform/wire/SealedFile.h"
#include "platform/wire/TerminologyListing.h"
#include "platform/wire/WireFormat.h"

#include <systemd/sd-bus.h>

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace korimado;
using namespace korimado::wire;

namespace {

enum Status { succeeded = 0, answeredWithError = 1, notReached = 2 };

// Events past this go in a sealed memory file where the bus passes descriptors: a bus carries a
// message a few kilobytes per turn of its loop.
constexpr std::size_t fileEventSize = std::size_t(64) << 10;
// What a bus carries in one message (dbus-daemon's default limit); larger events need a file.
constexpr std::size_t maximumMessageSize = std::size_t(128) << 20;

int fail(const std::string& message, int status = notReached)
{
    std::fprintf(stderr, "korimado-event: %s\n", message.c_str());
    return status;
}

struct BusCall {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    ~BusCall()
    {
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
    }
};

sd_bus* connect(const std::string& address)
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0)
        return nullptr;
    if (sd_bus_set_address(bus, address.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0
        && sd_bus_negotiate_fds(bus, 1) >= 0 && sd_bus_start(bus) >= 0)
        return bus;
    sd_bus_flush_close_unref(bus);
    return nullptr;
}

// No owner of the name on that bus: the next bus may have one.
bool nobodyThere(const BusCall& call)
{
    return sd_bus_error_has_name(&call.error, SD_BUS_ERROR_SERVICE_UNKNOWN)
        || sd_bus_error_has_name(&call.error, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
}

std::string timeoutText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// "errn" as a number within int, "errs" as text; 0 and empty when absent.
int errorNumber(const Value* number)
{
    std::optional<double> value;
    if (!number)
        return 0;
    if (number->type == typeInteger || number->type == typeInteger64)
        value = double(number->integer());
    else if (number->type == typeReal && std::isfinite(number->real()) && std::trunc(number->real()) == number->real())
        value = number->real();
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max())
        return 0;
    return int(*value);
}

std::string errorText(const Value* message)
{
    if (!message)
        return {};
    if (message->type == typeUTF8Text)
        return std::string(message->payload);
    if (message->type != typeUnicodeText)
        return {};
    // The JSON form of UTF-16, without its quotes: lone surrogates stay visible as escapes.
    std::string json;
    EventJson::append(json, *message);
    return json.substr(1, json.size() - 2);
}

// The dictionary installed beside the client (or, in the build tree, the source's).
int printListing()
{
    std::vector<std::string> candidates;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string folder(self, std::size_t(n));
        folder.erase(folder.find_last_of('/') + 1);
        candidates.push_back(folder + "../share/korimado/Korimado.sdef");
    }
#ifdef KORIMADO_SOURCE_RESOURCES
    candidates.push_back(std::string(KORIMADO_SOURCE_RESOURCES) + "/Korimado.sdef");
#endif
    for (const std::string& path : candidates) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file)
            continue;
        std::string xml;
        char buffer[1 << 16];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            xml.append(buffer, got);
        std::fclose(file);
        const std::optional<std::string> listing = TerminologyListing::listing(xml);
        if (!listing)
            return fail("用語辞書を読めません: " + path);
        std::fwrite(listing->data(), 1, listing->size(), stdout);
        std::fputc('\n', stdout);
        return succeeded;
    }
    return fail("用語辞書（Korimado.sdef）が見つかりません。");
}

const Value* parameter(const Event& event, FourCharCode key)
{
    const Value* found = nullptr;  // a key given twice counts with its last value
    for (const Item& item : event.parameters)
        if (item.key == key)
            found = &item.value;
    return found;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto parsed = EventCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* message = std::get_if<std::string>(&parsed))
        return fail(*message);
    const EventCommandLine& line = std::get<EventCommandLine>(parsed);
    if (line.help) {
        std::fputs(EventCommandLine::usage(), stdout);
        return succeeded;
    }
    if (line.list)
        return printListing();

    const std::string service = line.pid ? EventBusNames::processServiceName(*line.pid) : EventBusNames::serviceName();
    // The call itself asks each bus in turn: a bus without the name answers at once, and asking
    // first whether it has an owner cost a round trip on every run.
    sd_bus* bus = nullptr;
    BusCall call;
    bool byFile = false;
    int eventFile = -1;
    int r = 0;
    for (const std::string& address : EventBusNames::clientAddresses()) {
        if (!(bus = connect(address)))
            continue;
        // A reply comes back in a file where the bus can pass one: large ones arrive at once. A
        // large event goes in one too.
        byFile = sd_bus_can_send(bus, SD_BUS_TYPE_UNIX_FD) > 0;
        const bool eventByFile = byFile && line.event.size() > fileEventSize;
        if (!eventByFile && line.event.size() > maximumMessageSize) {
            sd_bus_flush_close_unref(bus);
            if (eventFile >= 0)
                ::close(eventFile);
            return fail("値が大きすぎてバスで送れません（上限 " + std::to_string(maximumMessageSize >> 20) + " MiB）。");
        }
        if (eventByFile && eventFile < 0 && (eventFile = SealedFile::create("korimado-event", line.event)) < 0) {
            sd_bus_flush_close_unref(bus);
            return fail(std::string("イベントを書き出せません: ") + std::strerror(errno));
        }
        sd_bus_error_free(&call.error);
        call.reply = sd_bus_message_unref(call.reply);
        sd_bus_message* message = nullptr;
        r = sd_bus_message_new_method_call(bus, &message, service.c_str(), EventBusNames::objectPath,
                                           EventBusNames::interfaceName().c_str(),
                                           eventByFile ? EventBusNames::sendFileMethod
                                           : byFile    ? EventBusNames::sendForFileMethod
                                                       : EventBusNames::sendMethod);
        // Never started by the bus: a script that finds no program says so.
        if (r >= 0)
            r = sd_bus_message_set_auto_start(message, 0);
        if (r >= 0)
            r = eventByFile ? sd_bus_message_append(message, "h", eventFile)
                            : sd_bus_message_append_array(message, 'y', line.event.data(), line.event.size());
        if (r >= 0)
            r = sd_bus_call(bus, message, std::uint64_t(std::llround(line.timeoutSeconds * 1e6)), &call.error,
                            &call.reply);
        sd_bus_message_unref(message);
        if (r >= 0 || !nobodyThere(call))
            break;
        sd_bus_flush_close_unref(bus);
        bus = nullptr;
    }
    if (eventFile >= 0)
        ::close(eventFile);
    if (!bus)
        return fail(line.pid ? "プロセス " + std::to_string(*line.pid) + " のKorimadoが見つかりません。"
                             : std::string("実行中のKorimadoが見つかりません。"));
    if (r < 0) {
        const std::string name = call.error.name ? call.error.name : "";
        const std::string detail = call.error.message ? call.error.message : std::strerror(-r);
        sd_bus_flush_close_unref(bus);
        if (name == SD_BUS_ERROR_ACCESS_DENIED)
            return fail("Korimadoに拒否されました: " + detail);
        if (r == -ETIMEDOUT || name == SD_BUS_ERROR_NO_REPLY || name == SD_BUS_ERROR_TIMEOUT)
            return fail(timeoutText(line.timeoutSeconds) + "秒以内に応答がありませんでした。");
        return fail("送れませんでした: " + name + ": " + detail);
    }

    std::optional<MappedFile> file;
    std::string_view bytes;
    if (byFile) {
        int fd = -1;
        if (sd_bus_message_read(call.reply, "h", &fd) < 0 || !(file = MappedFile::map(fd)))
            return fail(std::string("応答を読み取れません: ") + std::strerror(errno));
        bytes = file->bytes();
    } else {
        const void* data = nullptr;
        size_t size = 0;
        if (sd_bus_message_read_array(call.reply, 'y', &data, &size) < 0)
            return fail(std::string("応答を読み取れません: ") + std::strerror(errno));
        bytes = std::string_view(static_cast<const char*>(data), size);
    }
    std::string error;
    const std::optional<Event> reply = decodeEvent(bytes, &error);
    if (!reply)
        return fail("応答を読み取れません: " + error);
    if (const int number = errorNumber(parameter(*reply, fourCharCode("errn")))) {
        const std::string text = errorText(parameter(*reply, fourCharCode("errs")));
        return fail("エラー " + std::to_string(number) + (text.empty() ? "" : ": " + text), answeredWithError);
    }
    if (const Value* value = parameter(*reply, fourCharCode("----"))) {
        // A large text is escaped and written a slice at a time: one JSON string of a whole large
        // text cost fresh memory of twice its size and a copy when the escapes outgrew it.
        constexpr std::size_t slice = std::size_t(1) << 20;
        if (value->type == typeUTF8Text && value->payload.size() > slice) {
            std::string json;
            json.reserve(2 * slice + 8);
            json += '"';
            for (std::size_t at = 0; at < value->payload.size(); at += slice) {
                appendJsonStringContents(json, value->payload.substr(at, slice));
                std::fwrite(json.data(), 1, json.size(), stdout);
                json.clear();
            }
            json += "\"\n";
            std::fwrite(json.data(), 1, json.size(), stdout);
            return succeeded;
        }
        std::string json;
        json.reserve(value->payload.size() + 64);
        EventJson::append(json, *value);
        json += '\n';
        std::fwrite(json.data(), 1, json.size(), stdout);
    }
    return succeeded;
}
