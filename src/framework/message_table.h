// Per-class message table: which message or control notification goes to
// which member handler. A dialog class lists its entries once and returns
// them from MessageTable():
//
//   class CMyDlg : public CDialogBase {
//       void OnBrowse();                         // void ()
//       void OnSysCommand(UINT id, LPARAM);      // wParam and lParam
//       void OnDropFiles(HDROP drop);            // wParam only
//       HCURSOR OnQueryDragIcon();               // result returned to Windows
//       std::span<const MessageEntry> MessageTable() const override;
//   };
//
//   std::span<const MessageEntry> CMyDlg::MessageTable() const {
//       static const MessageEntry table[] = {
//           OnCommand<&CMyDlg::OnBrowse>(BN_CLICKED, IDC_BROWSE),
//           OnMessage<&CMyDlg::OnSysCommand>(WM_SYSCOMMAND),
//           OnMessage<&CMyDlg::OnDropFiles>(WM_DROPFILES),
//           OnMessage<&CMyDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
//       };
//       return table;
//   }
//
// A handler takes nothing, wParam, or wParam and lParam, converted to its
// parameter types (integers, or handles such as HDROP).
// Its result, if any, becomes the message's result. A handler that wants the
// dialog's default processing calls Default().
#pragma once

#include <windows.h>

#include <cstdint>
#include <tuple>
#include <type_traits>

class CDialogBase;

struct MessageEntry {
    UINT message;   // WM_COMMAND for control notifications
    UINT code;      // notification code (BN_CLICKED, EN_UPDATE) for WM_COMMAND, else 0
    UINT id;        // control id for WM_COMMAND, else 0
    LRESULT (*invoke)(CDialogBase& dialog, WPARAM wParam, LPARAM lParam);
};

namespace message_table_detail {

template <class T>
T FromParam(std::intptr_t param) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(param);
    } else {
        return static_cast<T>(param);
    }
}

template <class R>
LRESULT ToResult(R result) {
    if constexpr (std::is_pointer_v<R>) {
        return reinterpret_cast<LRESULT>(result);
    } else {
        return static_cast<LRESULT>(result);
    }
}

template <class Class, class R, class... Args>
Class ClassOf(R (Class::*)(Args...));

template <auto Handler>
LRESULT Invoke(CDialogBase& dialog, WPARAM wParam, LPARAM lParam) {
    using Class = decltype(ClassOf(Handler));
    auto& self = static_cast<Class&>(dialog);
    return [&]<class R, class... Args>(R (Class::*)(Args...)) -> LRESULT {
        static_assert(sizeof...(Args) <= 2, "a handler takes at most the message's two parameters");
        auto call = [&] {
            if constexpr (sizeof...(Args) == 0) {
                return (self.*Handler)();
            } else if constexpr (sizeof...(Args) == 1) {
                using First = std::tuple_element_t<0, std::tuple<Args...>>;
                return (self.*Handler)(FromParam<First>(static_cast<std::intptr_t>(wParam)));
            } else {
                using First = std::tuple_element_t<0, std::tuple<Args...>>;
                using Second = std::tuple_element_t<1, std::tuple<Args...>>;
                return (self.*Handler)(FromParam<First>(static_cast<std::intptr_t>(wParam)),
                                       FromParam<Second>(static_cast<std::intptr_t>(lParam)));
            }
        };
        if constexpr (std::is_void_v<R>) {
            call();
            return 0;
        } else {
            return ToResult(call());
        }
    }(Handler);
}

}  // namespace message_table_detail

template <auto Handler>
constexpr MessageEntry OnCommand(UINT code, UINT id) {
    return {WM_COMMAND, code, id, &message_table_detail::Invoke<Handler>};
}

template <auto Handler>
constexpr MessageEntry OnMessage(UINT message) {
    return {message, 0, 0, &message_table_detail::Invoke<Handler>};
}
