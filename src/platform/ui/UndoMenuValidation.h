#pragma once

namespace korimado {

class MenuItem;
class UndoManager;

// The Edit menu's undo and redo items as a validation leaves them: titled with the step they
// would undo or redo ("取り消す（置換）"), enabled when there is one.
struct UndoMenuValidation {
    // For an item whose action is "undo:" or "redo:"; false for any other item.
    static bool validate(MenuItem& item, const UndoManager* manager);
};

}  // namespace korimado
