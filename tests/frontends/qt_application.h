#pragma once

#include <functional>
#include <string>
#include <vector>

namespace norvane::testing {

/// The texts of the modal boxes that appeared while a call ran; each was dismissed as soon
/// as it showed. onBox runs while the box is up.
std::vector<std::string> DismissBoxesDuring(const std::function<void()>& call,
                                            const std::function<void()>& onBox = {});

} // namespace norvane::testing
