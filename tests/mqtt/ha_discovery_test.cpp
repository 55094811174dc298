// SPDX-License-Identifier: MIT
// Home Assistant's discovery configs as a broker would carry them.
#include "ha_discovery.h"
#include "mqtt_topics.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(HaDiscovery, NodeIdTakesOnlyWhatHomeAssistantAllows)
{
    const struct {
        const char* host;
        const char* port;
        const char* node;
    } cases[] = {
        { "werkbank", "888", "werkbank_888" },
        { "lab-3.example.org", "0x378", "lab-3_example_org_0x378" },
        { "Prüfstand", "888", "Pr__fstand_888" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ha_node_id(c.host, c.port), c.node) << c.host;
}

TEST(HaDiscovery, EightBinarySensorsAndTheValue)
{
    const MqttTopics topics("movanta/werkbank/888");
    const auto messages
        = ha_discovery_messages("homeassistant", topics, { "werkbank", "888", "0.05" });
    ASSERT_EQ(messages.size(), 9U);
    const std::string device
        = R"(,"availability_topic":"movanta/werkbank/888/availability",)"
          R"("payload_available":"online","payload_not_available":"offline","qos":1,)"
          R"("device":{"identifiers":["movanta_werkbank_888"],)"
          R"("name":"Movanta werkbank port 888","model":"Movanta 0.05",)"
          R"("manufacturer":"Movanta","sw_version":"0.05"}})";
    EXPECT_EQ(messages[3],
        (MqttMessage { "homeassistant/binary_sensor/werkbank_888/bit3/config",
            R"({"name":"Bit 3","unique_id":"movanta_werkbank_888_bit3",)"
            R"("state_topic":"movanta/werkbank/888/bit/3","payload_on":"ON","payload_off":"OFF")"
                + device }));
    EXPECT_EQ(messages[8],
        (MqttMessage { "homeassistant/sensor/werkbank_888/value/config",
            R"({"name":"Value","unique_id":"movanta_werkbank_888_value",)"
            R"("state_topic":"movanta/werkbank/888/state","value_template":"{{ value_json.value }}")"
                + device }));
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_EQ(messages[bit].topic,
            "homeassistant/binary_sensor/werkbank_888/bit" + std::to_string(bit) + "/config");
}

TEST(HaDiscovery, QuotesWhatCouldBreakTheJson)
{
    const MqttTopics topics(R"(halle "2"\a)");
    const auto messages = ha_discovery_messages("ha", topics, { "h", "888", "0.05" });
    EXPECT_NE(
        messages[0].payload.find(R"("state_topic":"halle \"2\"\\a/bit/0")"), std::string::npos)
        << messages[0].payload;
    EXPECT_THROW(
        (void)ha_discovery_messages("ha/#", topics, { "h", "888", "0.05" }), std::invalid_argument);
}

} // namespace
