// Keeps the widgets library non-empty until its first window lands.
namespace {
[[maybe_unused]] constexpr int kWidgetsLibrary = 1;
}
