#include "notify/MessageBox.h"

#include <cstdio>

namespace {
MessageBoxFn& current()
{
    static MessageBoxFn fn = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    return fn;
}
} // namespace

void showMessageBox(const std::string& text)
{
    if (current())
        current()(text);
}

MessageBoxFn setMessageBoxFunction(MessageBoxFn fn)
{
    MessageBoxFn old = std::move(current());
    current() = std::move(fn);
    return old;
}
