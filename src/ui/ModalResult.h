#pragma once

// What a modal dialog of this program returns when it closes.
enum ModalResult {
    mrOk = 1,
    mrCancel = 2,
};
