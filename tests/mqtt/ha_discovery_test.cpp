// SPDX-License-Identifier: MIT
// Home Assistant's discovery configs as a broker would carry them.
#include "watch/ha_discovery.h"
#include "watch/mqtt_topics.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace watch;

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

TEST(HaDiscovery, EightBinarySensorsTheValueAndEightPulseCounters)
{
    const MqttTopics topics("movanta/werkbank/888");
    const auto messages = ha_discovery_messages(
        "homeassistant", topics, { "werkbank", "888", "0.05", "https://example.invalid/m" });
    ASSERT_EQ(messages.size(), 17U);
    const std::string device
        = R"(,"availability_topic":"movanta/werkbank/888/availability",)"
          R"("payload_available":"online","payload_not_available":"offline","qos":1,)"
          R"("device":{"identifiers":["movanta_werkbank_888_04916568"],)"
          R"("name":"Movanta werkbank port 888","model":"Movanta 0.05",)"
          R"("manufacturer":"Movanta","sw_version":"0.05"},)"
          R"("o":{"name":"movanta-watch","sw":"0.05","url":"https://example.invalid/m"}})";
    EXPECT_EQ(messages[3],
        (MqttMessage { "homeassistant/binary_sensor/werkbank_888_04916568/bit3/config",
            R"({"name":"Bit 3","unique_id":"movanta_werkbank_888_04916568_bit3",)"
            R"("state_topic":"movanta/werkbank/888/bit/3","payload_on":"ON","payload_off":"OFF")"
                + device }));
    EXPECT_EQ(messages[8],
        (MqttMessage { "homeassistant/sensor/werkbank_888_04916568/value/config",
            R"({"name":"Value","unique_id":"movanta_werkbank_888_04916568_value",)"
            R"("state_topic":"movanta/werkbank/888/state","value_template":"{{ value_json.value }}")"
                + device }));
    EXPECT_EQ(messages[14],
        (MqttMessage { "homeassistant/sensor/werkbank_888_04916568/count5/config",
            R"({"name":"Pulses bit 5","unique_id":"movanta_werkbank_888_04916568_count5",)"
            R"("state_topic":"movanta/werkbank/888/count/5","state_class":"total_increasing")"
                + device }));
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_EQ(messages[bit].topic,
            "homeassistant/binary_sensor/werkbank_888_04916568/bit" + std::to_string(bit)
                + "/config");
}

TEST(HaDiscovery, TwoPrefixesOfOnePortAreTwoDevices)
{
    const HaDevice device { "werkbank", "888", "0.05", "" };
    const auto own = ha_discovery_messages("ha", MqttTopics("halle2/presse"), device);
    EXPECT_EQ(own[0].topic, "ha/binary_sensor/werkbank_888_040b5038/bit0/config");
    EXPECT_NE(own[0].payload.find(R"x("name":"Movanta werkbank port 888 (halle2/presse)")x"),
        std::string::npos)
        << own[0].payload;
}

TEST(HaDiscovery, QuotesWhatCouldBreakTheJson)
{
    const MqttTopics topics(R"(halle "2"\a)");
    const auto messages = ha_discovery_messages("ha", topics, { "h", "888", "0.05", "" });
    EXPECT_NE(
        messages[0].payload.find(R"("state_topic":"halle \"2\"\\a/bit/0")"), std::string::npos)
        << messages[0].payload;
    EXPECT_THROW((void)ha_discovery_messages("ha/#", topics, { "h", "888", "0.05", "" }),
        std::invalid_argument);
}

} // namespace
