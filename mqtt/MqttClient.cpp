#include "mqtt/MqttClient.h"

#ifdef _WIN32
#include <winsock2.h> // before anything that may bring windows.h
#endif

#include "link/base/PrintableText.h"
#include "link/base/RegularFile.h"
#include "mqtt/Log.h"

#include <mosquitto.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <mutex>
#ifndef _WIN32
#include <poll.h>
#endif

namespace orvik::mqtt {

namespace {

std::int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// What a refusing broker said, in words (MQTT 3.1.1 return codes).
std::string RefusalText(int code) {
    switch (code) {
    case 1:
        return "it does not speak MQTT 3.1.1";
    case 2:
        return "it does not take the client id";
    case 3:
        return "it is unavailable";
    case 4:
        return "bad user name or password (see --username and the password)";
    case 5:
        return "not authorised (see --username and the password)";
    default:
        return "refusal code " + std::to_string(code);
    }
}

std::string Seconds(std::int64_t ms) {
    return std::to_string((ms + 500) / 1000) + " s";
}

} // namespace

void MqttClient::Free::operator()(mosquitto* m) const {
    mosquitto_destroy(m);
}

MqttClient::MqttClient(ClientSetup setup) : setup_(std::move(setup)) {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

MqttClient::~MqttClient() = default;

std::string MqttClient::BrokerName() const {
    const BrokerAddress& a = setup_.address;
    const bool v6 = a.host.find(':') != std::string::npos;
    return std::string(a.tls ? "mqtts://" : "mqtt://") + (v6 ? "[" : "") + a.host +
           (v6 ? "]" : "") + ":" + std::to_string(a.port);
}

void MqttClient::ConnectCallback(mosquitto*, void* self, int code) {
    auto* c = static_cast<MqttClient*>(self);
    if (code == 0) {
        c->connected_ = true;
        c->justConnected_ = true;
    } else {
        c->refusal_ = code;
    }
}

void MqttClient::PublishCallback(mosquitto*, void* self, int mid) {
    auto* c = static_cast<MqttClient*>(self);
    if (mid == c->closeMid_)
        c->closeAcked_ = true;
}

void MqttClient::MessageCallback(mosquitto*, void* self, const mosquitto_message* m) {
    auto* c = static_cast<MqttClient*>(self);
    c->received_.push_back({m->topic ? m->topic : "",
                            std::string(static_cast<const char*>(m->payload),
                                        m->payload ? static_cast<std::size_t>(m->payloadlen) : 0),
                            m->retain});
}

void MqttClient::LogCallback(mosquitto*, void* self, int level, const char* text) {
    if (level & MOSQ_LOG_ERR)
        static_cast<MqttClient*>(self)->lastLibraryError_ = PrintableText(text ? text : "");
}

std::string MqttClient::ErrorText(int code, int error) const {
    std::string text;
    switch (code) {
    case MOSQ_ERR_ERRNO:
        text = SystemErrorText(error);
        break;
    case MOSQ_ERR_EAI:
        text = "the host name " + setup_.address.host + " is not known";
        break;
    case MOSQ_ERR_CONN_LOST:
        text = "the connection was lost";
        break;
    case MOSQ_ERR_TLS:
        text = "TLS failed";
        break;
    case MOSQ_ERR_PROTOCOL:
        text = "the broker broke the protocol";
        break;
    default:
        text = mosquitto_strerror(code);
        for (char& ch : text)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (!text.empty() && text.back() == '.')
            text.pop_back();
        break;
    }
    if (!lastLibraryError_.empty())
        text += " (" + lastLibraryError_ + ")";
    return text;
}

bool MqttClient::Start(std::int64_t nowMs) {
    refusal_ = 0;
    lastLibraryError_.clear();
    handle_.reset(mosquitto_new(setup_.clientId.c_str(), true, this));
    if (!handle_) {
        Drop(nowMs, "no client could be made: " + SystemErrorText(errno));
        return false;
    }
    mosquitto* h = handle_.get();
    mosquitto_connect_callback_set(h, ConnectCallback);
    mosquitto_publish_callback_set(h, PublishCallback);
    mosquitto_message_callback_set(h, MessageCallback);
    mosquitto_log_callback_set(h, LogCallback);
    const MqttMessage& w = setup_.will;
    int rc = mosquitto_will_set(h, w.topic.c_str(), static_cast<int>(w.payload.size()),
                                w.payload.data(), 1, w.retain);
    if (rc == MOSQ_ERR_SUCCESS && !setup_.username.empty())
        rc = mosquitto_username_pw_set(h, setup_.username.c_str(),
                                       setup_.password.empty() ? nullptr : setup_.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && setup_.address.tls) {
        const char* cafile = setup_.cafile.empty() ? nullptr : setup_.cafile.c_str();
        rc = mosquitto_tls_set(h, cafile, cafile ? nullptr : "/etc/ssl/certs",
                               setup_.cert.empty() ? nullptr : setup_.cert.c_str(),
                               setup_.key.empty() ? nullptr : setup_.key.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            Drop(nowMs,
                 "the TLS files cannot be used (--cafile, --cert, --key): " + ErrorText(rc, errno));
            return false;
        }
    }
    if (rc == MOSQ_ERR_SUCCESS) {
        errno = 0;
        rc = mosquitto_connect_async(h, setup_.address.host.c_str(), setup_.address.port,
                                     KEEPALIVE_S);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        Drop(nowMs, "cannot connect: " + ErrorText(rc, errno));
        return false;
    }
    startedMs_ = nowMs;
    return true;
}

void MqttClient::Drop(std::int64_t nowMs, const std::string& why) {
    connected_ = false;
    justConnected_ = false;
    handle_.reset();
    retryAtMs_ = nowMs + retryMs_;
    Log(LogLevel::Warning,
        ReasonThen("broker " + BrokerName() + ": " + why, "trying again in " + Seconds(retryMs_)));
    retryMs_ = std::min(retryMs_ * 2, LONGEST_RETRY_MS);
}

void MqttClient::Service(std::int64_t nowMs) {
    if (!handle_) {
        if (nowMs < retryAtMs_ || !Start(nowMs))
            return;
    }
    // Everything that is there to read, a bounded number of packets at a time.
    for (int i = 0; i < 64 && handle_; ++i) {
        errno = 0;
        const int rc = mosquitto_loop(handle_.get(), 0, 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            const int error = errno;
            if (refusal_ != 0)
                Drop(nowMs, "the broker refused the connection: " + RefusalText(refusal_));
            else
                Drop(nowMs, ErrorText(rc, error));
            break;
        }
        if (!WaitReadable(0))
            break;
    }
    if (handle_ && !connected_ && nowMs - startedMs_ > CONNECT_WAIT_MS)
        Drop(nowMs, "no answer within " + Seconds(CONNECT_WAIT_MS));
    if (justConnected_) {
        justConnected_ = false;
        retryMs_ = FIRST_RETRY_MS;
        Log(LogLevel::Info, "connected to the broker " + BrokerName() + " as " + setup_.clientId);
        for (const std::string& filter : setup_.subscriptions)
            mosquitto_subscribe(handle_.get(), nullptr, filter.c_str(), 1);
        if (OnConnected)
            OnConnected();
    }
    std::vector<Received> received;
    received.swap(received_);
    for (const Received& r : received)
        if (OnMessage)
            OnMessage(r.topic, r.payload, r.retained);
}

bool MqttClient::Publish(const MqttMessage& m) {
    if (!connected_)
        return false;
    const int rc =
        mosquitto_publish(handle_.get(), nullptr, m.topic.c_str(),
                          static_cast<int>(m.payload.size()), m.payload.data(), 1, m.retain);
    return rc == MOSQ_ERR_SUCCESS;
}

#ifndef _WIN32
void MqttClient::WaitFor(int other, int timeoutMs) const {
    pollfd p[2] = {{other, POLLIN, 0}, {-1, POLLIN, 0}};
    if (handle_) {
        p[1].fd = mosquitto_socket(handle_.get());
        if (mosquitto_want_write(handle_.get()))
            p[1].events |= POLLOUT;
    }
    ::poll(p, 2, timeoutMs);
}
#endif

bool MqttClient::WaitReadable(int ms) const {
    const int fd = handle_ ? mosquitto_socket(handle_.get()) : -1;
    if (fd < 0)
        return false;
#ifdef _WIN32
    WSAPOLLFD p{static_cast<SOCKET>(fd), POLLIN, 0};
    return WSAPoll(&p, 1, ms) > 0;
#else
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
#endif
}

bool MqttClient::Close(const MqttMessage& last, std::int64_t waitMs) {
    if (!connected_) {
        handle_.reset();
        return false;
    }
    closeAcked_ = false;
    int mid = -1;
    if (mosquitto_publish(handle_.get(), &mid, last.topic.c_str(),
                          static_cast<int>(last.payload.size()), last.payload.data(), 1,
                          last.retain) == MOSQ_ERR_SUCCESS) {
        closeMid_ = mid;
        const std::int64_t until = SteadyMs() + waitMs;
        while (!closeAcked_ && SteadyMs() < until) {
            WaitReadable(20);
            if (mosquitto_loop(handle_.get(), 0, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
    }
    mosquitto_disconnect(handle_.get());
    connected_ = false;
    handle_.reset();
    return closeAcked_;
}

} // namespace orvik::mqtt
