#pragma once
// A scroll model in whole units (pixels here): a concrete model supplies totals,
// pages and positions; the stepping rules are the same for every model. All values
// are unsigned 64-bit. GUI thread only.

#include <algorithm>
#include <cstdint>

namespace qvx {

class ScrollInfo;

// The owner of the scroll bars: told when a model's values changed.
class ScrollContentContainer {
public:
    virtual ~ScrollContentContainer() = default;
    virtual void OnRefreshScroll(ScrollInfo* info) = 0;
};

class ScrollInfo {
public:
    explicit ScrollInfo(ScrollContentContainer* container = nullptr) : m_container(container) {}
    virtual ~ScrollInfo() = default;

    virtual std::uint64_t GetHorizontalTotal() const = 0;
    virtual std::uint64_t GetVerticalTotal() const = 0;
    virtual std::uint64_t GetHorizontalPage() const = 0;
    virtual std::uint64_t GetVerticalPage() const = 0;
    virtual void SetHorizontalPosition(std::uint64_t position) = 0;
    virtual std::uint64_t GetHorizontalPosition() const = 0;
    virtual void SetVerticalPosition(std::uint64_t position) = 0;
    virtual std::uint64_t GetVerticalPosition() const = 0;

    // total - page, or 0 when the page is larger than the total.
    virtual std::uint64_t GetHorizontalMaximum() const {
        return Maximum(GetHorizontalTotal(), GetHorizontalPage());
    }
    virtual std::uint64_t GetVerticalMaximum() const {
        return Maximum(GetVerticalTotal(), GetVerticalPage());
    }

    virtual void LineLeft() {
        const std::uint64_t p = GetHorizontalPosition();
        if (p != 0) SetHorizontalPosition(p - 1);
    }
    virtual void LineRight() {
        const std::uint64_t p = GetHorizontalPosition();
        if (p < GetHorizontalMaximum()) SetHorizontalPosition(p + 1);
    }
    virtual void LineUp() {
        const std::uint64_t p = GetVerticalPosition();
        if (p != 0) SetVerticalPosition(p - 1);
    }
    virtual void LineDown() {
        const std::uint64_t p = GetVerticalPosition();
        if (p < GetVerticalMaximum()) SetVerticalPosition(std::min(p + 1, GetVerticalMaximum()));
    }
    virtual void PageLeft() {
        const std::uint64_t p = GetHorizontalPosition();
        if (p != 0) SetHorizontalPosition(p > GetHorizontalPage() ? p - GetHorizontalPage() : 0);
    }
    virtual void PageRight() {
        const std::uint64_t p = GetHorizontalPosition();
        const std::uint64_t max = GetHorizontalMaximum();
        if (p < max) SetHorizontalPosition(std::min(p + GetHorizontalPage(), max));
    }
    virtual void PageUp() {
        const std::uint64_t p = GetVerticalPosition();
        if (p != 0) SetVerticalPosition(p > GetVerticalPage() ? p - GetVerticalPage() : 0);
    }
    virtual void PageDown() {
        const std::uint64_t p = GetVerticalPosition();
        const std::uint64_t max = GetVerticalMaximum();
        if (p < max) SetVerticalPosition(std::min(p + GetVerticalPage(), max));
    }
    virtual void Refresh() {
        if (m_container) m_container->OnRefreshScroll(this);
    }

    void SetContainer(ScrollContentContainer* container) { m_container = container; }

private:
    static std::uint64_t Maximum(std::uint64_t total, std::uint64_t page) {
        return page > total ? 0 : total - page;
    }

    ScrollContentContainer* m_container;
};

}  // namespace qvx
