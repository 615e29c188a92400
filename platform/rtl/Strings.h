#pragma once
// TStrings and TStringList: ordered lists of UTF-8 strings.

#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Event.h"
#include "platform/rtl/Object.h"

namespace pv {

// Whether A and B are equal ignoring ASCII letter case, as component names
// and identifiers are compared.
bool SameText(std::string_view A, std::string_view B);

class TStrings : public TPersistent {
public:
    std::string_view ClassName() const override { return "TStrings"; }

    virtual int GetCount() const = 0;
    virtual const std::string& Get(int Index) const = 0;
    virtual void Put(int Index, const std::string& S) = 0;
    virtual void Insert(int Index, const std::string& S) = 0;
    virtual void Delete(int Index) = 0;
    virtual void Clear() = 0;

    int Add(const std::string& S) {
        Insert(GetCount(), S);
        return GetCount() - 1;
    }
    // The first index of S (exact match), or -1.
    int IndexOf(std::string_view S) const;
    // All lines joined, each followed by "\n" (empty list: empty text).
    std::string GetText() const;
    // Replaces the lines by those of Text, split at "\n" (a trailing "\r" is
    // dropped from each line).
    void SetText(std::string_view Text);
    std::vector<std::string> ToVector() const;
    bool Equals(const TStrings& Other) const;

    // Replaces every line by the lines of another TStrings.
    void Assign(const TPersistent& Source) override;
    // The setter of a string-list property: takes the lines of Source, or
    // none when Source is nullptr; nothing happens when Source is this list.
    void AssignLines(const TStrings* Source);

    // Batches change notices: OnChange fires once, at the outermost EndUpdate.
    void BeginUpdate();
    void EndUpdate();

protected:
    virtual void SetUpdateState(bool Updating) { (void)Updating; }
    int UpdateCount() const { return FUpdateCount; }

private:
    int FUpdateCount = 0;
};

class TStringList : public TStrings {
public:
    TStringList() = default;
    std::string_view ClassName() const override { return "TStringList"; }

    int GetCount() const override { return static_cast<int>(FItems.size()); }
    const std::string& Get(int Index) const override;
    void Put(int Index, const std::string& S) override;
    void Insert(int Index, const std::string& S) override;
    void Delete(int Index) override;
    void Clear() override;

    const std::string& operator[](int Index) const { return Get(Index); }

    // Called after every change (or once after a BeginUpdate/EndUpdate batch).
    TNotifyEvent OnChange;

protected:
    void SetUpdateState(bool Updating) override;

private:
    void Changed();
    void CheckIndex(int Index, bool AllowEnd) const;
    std::vector<std::string> FItems;
    bool FChangedWhileUpdating = false;
};

}  // namespace pv
