#include "mqtt/mqtt_transport.h"

namespace velmora {

MqttTransport::~MqttTransport() = default;

} // namespace velmora
