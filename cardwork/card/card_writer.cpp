#include "cardwork/card/card_writer.h"

namespace cardwright {

bool ValidateItems(const CardWorkState& state, LogSink& log) {
    CheckResult result = CheckItemValues(ItemChecks(state));
    // A table that Write would send must hold times the card can keep.
    if (result.ok && state.config_led && state.led.Writable()) {
        if (const auto bad = state.led.FindBadTime()) {
            result.ok = false;
            result.log.push_back(bad->Message());
        }
    }
    for (const std::string& line : result.log) {
        log.AddLog(line);
    }
    if (result.ok) {
        log.AddLog("Data valid check OK...");
    }
    return result.ok;
}

WorkResult CardWriter::WriteToCard(CardWorkState& state, const WriteOptions& options) {
    port_setting_written_ = false;
    port_setting_left_ = false;
    written_.clear();
    failure_.reset();
    lost_ = false;
    state.values.ResetUnchecked();
    const bool valid = ValidateItems(state, seams_.log);
    bool outcome = valid;
    std::optional<WorkResult> result;
    if (!valid) {
        result = WorkResult::Failed(WorkStep::kCheckingValues,
                                    "a value did not pass its check (see the log)");
    }
    // The identity check opens the card whatever the values' check said.
    if (!CardReader(seams_).SameCardAs(state.card_type)) {
        if (valid) {
            result = CardDifferent(seams_.card);
        }
        outcome = false;
    } else if (outcome) {
        seams_.progress.Step(WorkStep::kOpeningCard);
        CardSession card(seams_.card);
        if (!card.Opened()) {
            outcome = false;
            result = WorkResult::Failed(WorkStep::kOpeningCard,
                                        CardTrouble(seams_.card, "the card could not be opened"));
        } else {
            Log("Init port OK...");
            outcome = WriteConfigItems(state);
            if (outcome) {
                Log("Write Config item succeed...");
            }
            if (outcome && state.config_led) {
                seams_.progress.Step(WorkStep::kWritingLed);
                outcome = WriteLedInfo(state);
                Log(outcome ? "Write LED info succed..." : "Write LED failed...");
                if (!outcome) {
                    FailedAt(WorkStep::kWritingLed, kLedPart);
                }
            }
            if (outcome) {
                outcome = BackUpAndRestart(options.restart);
            }
            card.Close();
            Log("Close port...");
            if (!outcome) {
                result = CardWorkResult();
            }
        }
    }
    seams_.view.WriteEnding();
    Log(outcome ? "Write to datacard succeed..." : "Failed to write info...");
    return outcome ? WorkResult::Done() : *result;
}

bool CardWriter::BackUpAndRestart(bool restart) {
    seams_.progress.Step(WorkStep::kBackingUp);
    Log("Start BackupNVItems...");
    int32_t status = 0;
    const bool backed_up = seams_.card.Backup(status);
    Log(backed_up ? "BackupNVItems succed..." : "BackupNVItems failed...");
    if (!backed_up) {
        FailedAt(WorkStep::kBackingUp, kBackupPart);
        return false;
    }
    if (restart) {
        seams_.progress.Step(WorkStep::kRestarting);
        Log("Restarting datacard...");
        seams_.card.Restart();
    }
    return true;
}

WorkResult CardWriter::CardWorkResult() const {
    WorkResult result = failure_.value_or(WorkResult::Failed(WorkStep::kWritingItem, {}));
    result.reason = lost_ ? CardTrouble(seams_.card, "the card is gone") : seams_.card.Trouble();
    return result;
}

bool CardWriter::FailedAt(WorkStep step, std::string_view what, ItemOutcome outcome) {
    if (!failure_) {
        failure_ = WorkResult::Failed(step, {}, std::string(what));
    }
    if (!lost_ && outcome == ItemOutcome::kFailed && seams_.card.Gone()) {
        lost_ = true;
        Log(kCardGoneMessage);
    }
    return lost_;
}

// Every item that applies, in list order. A single item that fails ends the loop; a multi-value
// item that fails is logged and the loop goes on (unless the card has gone), but the write as a
// whole has then failed: a card with an NV item missing is not to be backed up and restarted as
// if all went well.
bool CardWriter::WriteConfigItems(const CardWorkState& state) {
    bool all_written = true;
    const size_t count = state.items.size();
    for (size_t index = 0; index < count; ++index) {
        const TConfigItem& item = state.items[index];
        if (state.new_version && item.NewVersion == 0) {
            continue;
        }
        const std::string caption = DisplayText(item);
        seams_.progress.Report({WorkStep::kWritingItem, index + 1, count, caption});
        if (!IsMultiValue(item)) {
            const ItemOutcome outcome = WriteItem(state, item);
            if (outcome == ItemOutcome::kFailed) {
                Log("Failed to write config item...");
            }
            if (outcome != ItemOutcome::kDone) {
                FailedAt(WorkStep::kWritingItem, caption, outcome);
                return false;
            }
            continue;
        }
        const ItemOutcome outcome = WriteMultiValueItem(state, item);
        // A card that has gone takes no further item.
        if (outcome != ItemOutcome::kDone && (FailedAt(WorkStep::kWritingItem, caption, outcome) ||
                                              outcome == ItemOutcome::kBroken)) {
            return false;
        }
        all_written = all_written && outcome == ItemOutcome::kDone;
    }
    return all_written;
}

ItemOutcome CardWriter::Note(const TConfigItem& record, ItemOutcome outcome, bool sent) {
    written_.push_back({record.Name, record.NvId, outcome, sent});
    return outcome;
}

ItemOutcome CardWriter::WriteItem(const CardWorkState& state, const TConfigItem& record) {
    const auto index = state.values.Find(record.Name);
    if (!index || !state.values[*index].has_box) {
        Log(record.Caption + " Write Failed: item " + record.Name + " has no value box, its page " +
            record.AlongPage + " was not built...");
        return Note(record, ItemOutcome::kFailed, false);
    }
    const ItemValue& value = state.values[*index];
    if (IsDefaultText(value.text) || !record.Visible) {
        return Note(record, ItemOutcome::kDone, false);
    }
    const auto finish = [&](bool ok, bool sent) {
        Log(record.Caption + (ok ? " Write OK..." : " Write Failed..."));
        return Note(record, ok ? ItemOutcome::kDone : ItemOutcome::kFailed, sent);
    };
    if (KindOf(record) == ItemKind::kDeviceState) {
        if (!port_setting_written_ && !port_setting_left_ && !DeviceStateGiven(state)) {
            port_setting_left_ = true;
            Log(kPortSettingLeft);
        }
        if (port_setting_left_) {
            return Note(record, ItemOutcome::kDone, false);
        }
        const bool first = !port_setting_written_;
        return finish(port_setting_written_ || WriteDeviceState(state), first);
    }
    const auto number = NvItemNumber(record.NvId);
    const ComposedNvItem composed =
        ComposeNvItem(state.items, ShownTexts(state), record, state.new_version);
    if (!number || !composed.Ok()) {
        Log(number ? composed.error : BadNumberMessage(record, "NV_ID", record.NvId));
        Log(record.Caption + " Write Failed...");
        return Note(record, ItemOutcome::kBroken, false);
    }
    if (!value.ticked && !record.OnCard) {
        // The card does not hold the item, and the user did not change it.
        return finish(true, false);
    }
    if (TypeWidth(record.ItemType) == 0) {
        // A TYPE that moves no bytes (STRING, none) composes 128 zero bytes, which would wipe what
        // the card keeps in the item (a text, for a STRING): nothing is sent for it.
        Log(record.Caption + " not sent: its TYPE \"" + record.ItemType +
            "\" carries no bytes, NV item " + record.NvId + " stays as the card has it...");
        return finish(true, false);
    }
    return finish(seams_.card.WriteNv(*number, composed.data), true);
}

ItemOutcome CardWriter::WriteMultiValueItem(const CardWorkState& state, const TConfigItem& item) {
    ItemOutcome outcome = ItemOutcome::kDone;
    for (int k = 0; k < item.ValueCount; ++k) {
        const SingleItem single = MakeSingleItem(item, k);
        if (!single.complete) {
            Log(kSingleItemError);
        }
        outcome = WriteItem(state, single.item);
        if (outcome == ItemOutcome::kFailed) {
            Log("Failed to write Singel config item...");
            Log("NV item " + single.item.NvId + " of " + DisplayText(item) + " was not written...");
        }
        if (outcome != ItemOutcome::kDone) {
            break;
        }
    }
    return outcome;
}

bool CardWriter::DeviceStateGiven(const CardWorkState& state) {
    for (size_t i = 0; i < state.items.size() && i < state.values.size(); ++i) {
        if (KindOf(state.items[i]) == ItemKind::kDeviceState && state.values[i].given) {
            return true;
        }
    }
    return false;
}

bool CardWriter::WriteDeviceState(const CardWorkState& state) {
    port_setting_written_ = true;
    const DeviceState setting = ComposeDeviceState(state.items, ShownTexts(state));
    int32_t status = 0;
    const bool ok = seams_.card.WritePortSetting(setting, status);
    Log(ok ? "Write port setting succeed..." : "Write port setting failed...");
    return ok;
}

bool CardWriter::WriteLedInfo(const CardWorkState& state) {
    if (!state.led.Writable()) {
        Log("LED settings left unchanged: nothing was read from the datacard, loaded or "
            "edited...");
        return true;
    }
    if (const auto bad = state.led.FindBadTime()) {
        Log(bad->Message());
        return false;
    }
    // 50013 goes only after 50012 went.
    for (int index = 0; index < 2; ++index) {
        const int32_t item = index == 0 ? kLedFirstNvItem : kLedSecondNvItem;
        if (!seams_.card.WriteNv(item, *state.led.Pack(index))) {
            return false;
        }
    }
    return true;
}

}  // namespace cardwright
