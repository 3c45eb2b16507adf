#include "graph/GraphModel.h"

#include <cmath>
#include <memory>
#include <mutex>

namespace ketra {

namespace {

// The decimal texts of 1, 2, ... in slots of 8 characters (7 digits and a terminating 0), in
// blocks that are neither moved nor freed: the names handed out refer to them.
class FrameNameTable {
public:
    static constexpr int kLargest = 9'999'999;

    QString name(int index) {
        const std::size_t at = static_cast<std::size_t>(index - 1);
        std::lock_guard lock(m_mutex);
        while (m_blocks.size() <= at / kPerBlock)
            addBlock();
        const char16_t* text = m_blocks[at / kPerBlock].get() + (at % kPerBlock) * kSlot;
        return QString::fromRawData(reinterpret_cast<const QChar*>(text),
                                    std::char_traits<char16_t>::length(text));
    }

private:
    static constexpr std::size_t kSlot = 8, kPerBlock = 1 << 12;

    void addBlock() {
        auto block = std::make_unique<char16_t[]>(kSlot * kPerBlock);
        const std::size_t first = m_blocks.size() * kPerBlock + 1;
        for (std::size_t i = 0; i < kPerBlock; ++i) {
            char16_t* slot = block.get() + i * kSlot;
            char16_t digits[kSlot];
            std::size_t n = 0;
            for (std::size_t value = first + i; value != 0 && n < kSlot; value /= 10)
                digits[n++] = static_cast<char16_t>(u'0' + value % 10);
            if (n < kSlot) // the slot's last character stays the terminating 0
                for (std::size_t d = 0; d < n; ++d)
                    slot[d] = digits[n - 1 - d];
        }
        m_blocks.push_back(std::move(block));
    }

    std::mutex m_mutex;
    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
};

} // namespace

QString GraphModel::frameName(int index) {
    if (index < 1 || index > FrameNameTable::kLargest)
        return QString::number(index);
    // Never destroyed: names handed out may live until the process ends.
    static FrameNameTable* const table = new FrameNameTable;
    return table->name(index);
}

int GraphModel::indexFromFrameName(const QString& name) const {
    bool numeric = false;
    const double value = name.trimmed().toDouble(&numeric);
    if (!numeric || !std::isfinite(value))
        return 0;
    const double index = std::nearbyint(value);
    if (index < 1 || index > count())
        return 0;
    return static_cast<int>(index);
}

std::uint32_t GraphModel::addTexture(std::shared_ptr<platform::Texture> texture) {
    if (!texture)
        return 0;
    m_textures.push_back(std::move(texture));
    return static_cast<std::uint32_t>(m_textures.size());
}

const std::shared_ptr<platform::Texture>& GraphModel::texture(const DataEntry& e) const {
    static const std::shared_ptr<platform::Texture> none;
    return e.TextureNumber == 0 || e.TextureNumber > m_textures.size() ? none
                                                                       : m_textures[e.TextureNumber - 1];
}

void GraphModel::AddEntry(const QString& name, double row, double value, double column, double size,
                          std::uint32_t colour, std::int32_t attributes, const QString& modified,
                          std::int16_t level, bool logscale) {
    DataEntry e;
    e.Name = name;
    e.Row = static_cast<float>(row);
    if (!std::isfinite(value))
        value = 0;
    e.Value = (logscale && value > 0) ? std::log(value) : value;
    e.Column = static_cast<float>(column);
    e.Size = std::isfinite(size) ? size : 0;
    e.Modified = modified;
    e.Colour = colour;
    e.Attributes = attributes;
    e.Level = level;
    m_entries.push_back(std::move(e));
}

std::optional<BasePlateSize> GraphModel::ScaleEntries(bool logscale) {
    if (m_entries.empty())
        return std::nullopt;

    // The maxima start below any real value: -9e20 as a single, widened.
    const double lowest = static_cast<double>(-9e20f);
    m_maxRow = m_maxValue = m_maxColumn = m_maxSize = lowest;
    for (const DataEntry& e : m_entries) {
        if (e.Row > m_maxRow)
            m_maxRow = e.Row;
        if (e.Value > m_maxValue)
            m_maxValue = e.Value;
        if (e.Column > m_maxColumn)
            m_maxColumn = e.Column;
        if (e.Size > m_maxSize)
            m_maxSize = e.Size;
    }

    m_rowSpacing = m_columnSpacing = 1.0f;
    m_heightScale = m_sizeScale = 1.0;
    if (m_maxValue != 0)
        m_heightScale = 12.0 / m_maxValue;
    if (logscale)
        m_heightScale = m_heightScale / 2;
    m_rowSpacing = m_columnSpacing = 2.5f;
    if (m_maxSize == 0)
        m_maxSize = 1.0;
    m_sizeScale = 12.0 / m_maxSize;

    m_basePlate = BasePlateSize{static_cast<float>((m_maxRow + 1) * 2.5),
                                static_cast<float>((m_maxColumn + 1) * 2.5), 0.1f};

    for (DataEntry& e : m_entries) {
        e.X = static_cast<float>((e.Row - m_maxRow / 2) * m_rowSpacing);
        e.Height = static_cast<float>(m_heightScale * e.Value / 2);
        e.Z = static_cast<float>((e.Column - m_maxColumn / 2) * m_columnSpacing);
    }
    return m_basePlate;
}

} // namespace ketra
