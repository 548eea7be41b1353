#include "http/http_server_settings.h"

#include "settings/configuration_settings.h"

namespace {

constexpr int kNamedSettingMode = 2;
constexpr const char* kSection = "HTTPServer";
constexpr std::int64_t kMicrosecondsPerSecond = 1'000'000;

std::uint32_t ReadNumber(const char* component, const char* name, std::uint32_t defaultValue) {
    return ConfigurationNumber(kNamedSettingMode, component, kSection, name, defaultValue).GetValue();
}

std::string ReadText(const char* component, const char* name, const char* defaultValue) {
    return ConfigurationString(kNamedSettingMode, component, kSection, name, defaultValue)
        .GetValue()
        .GetCString();
}

FileLocation ReadLocation(const char* component, const char* name, const char* defaultValue) {
    return FileLocation(ReadText(component, name, defaultValue).c_str());
}

// Seconds times one million cannot overflow 64 bits for any 32-bit setting.
std::int64_t ReadSeconds(const char* component, const char* name, std::uint32_t defaultSeconds) {
    return static_cast<std::int64_t>(ReadNumber(component, name, defaultSeconds)) * kMicrosecondsPerSecond;
}

}  // namespace

FileLocation ReadServerRootPath(const char* component) {
    return ReadLocation(component, "ServerRootPath", "wwwroot");
}

HTTPServerSettings::HTTPServerSettings(const char* component)
    : port(ReadNumber(component, "PortNumber", 52311)),
      maxConnections(ReadNumber(component, "MaxConnections", 2048)),
      hostName(ReadText(component, "HostName", "")),
      logFilePath(ReadLocation(component, "LogFilePath", "logfile.txt")),
      logFileSizeLimit(ReadNumber(component, "LogFileSizeLimit", 0x3200000)),
      maxRequestLineLength(ReadNumber(component, "MaxRequestLineLength", 0x8000)),
      readTimeOut(ReadSeconds(component, "ReadTimeOut", 60)),
      minimumBodyBytesPerSecond(ReadNumber(component, "MinRequestBodyBytesPerSecond", 1024)),
      writeTimeOut(ReadSeconds(component, "WriteTimeOut", 300)),
      serverRootPath(ReadServerRootPath(component)),
      throttleKBPS(ReadNumber(component, "ThrottleKBPS", 0)),
      useTLS(ReadNumber(component, "UseSSLFlag", 0) != 0),
      certificateFilePath(ReadLocation(component, "SSLCertificateFilePath", "certfile.pem")),
      dynamicThrottleEnabled(ReadNumber(component, "DynamicThrottleEnabled", 0) != 0),
      dynamicThrottleMaxKBPS(ReadNumber(component, "DynamicThrottleMaxKBPS", 0)),
      dynamicThrottleMinKBPS(ReadNumber(component, "DynamicThrottleMinKBPS", 0)),
      dynamicThrottleFraction(ReadNumber(component, "DynamicThrottlePercentage", 0) / 100.0),
      m_component(component) {}

FileLocation HTTPServerSettings::AccessLogDirectory() const {
    return ReadLocation(m_component.c_str(), "HttpLogDirectoryPath", "");
}

std::uint32_t HTTPServerSettings::AccessLogExpirationDays() const {
    return ReadNumber(m_component.c_str(), "HttpLogExpirationDays", 3);
}

std::uint32_t HTTPServerSettings::Verbose() const {
    return ConfigurationNumber(kNamedSettingMode, "KVRRelay", "Log", "Verbose", 0).GetValue();
}
