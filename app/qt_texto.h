// Texts between Qt and the rest of kelvara, which speaks UTF-8.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kelvara {

inline std::string utf8(const QString& s)
{
  const QByteArray b = s.toUtf8();
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

inline QString texto_qt(std::string_view s)
{
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace kelvara
