#pragma once
// What one module serves: its channels, and the sensor positions on a channel.

namespace protocol {

constexpr int MaxChannelsPerModule = 10;
constexpr int MaxPositionsPerChannel = 160;

} // namespace protocol
