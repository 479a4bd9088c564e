#pragma once

#include <QString>

// One application the scan offers: ticked or not, its name, its data size as text and in bytes,
// and what is protected.
class scantableviewmodel
{
public:
    scantableviewmodel() = default;
    scantableviewmodel(bool priority, const QString& name, const QString& size, const QString& description,
                       quint64 numSize)
        : m_isChecked(priority), m_name(name), m_foldersize(size), m_description(description),
          m_numsize(numSize)
    {}

    bool isChecked() const { return m_isChecked; }
    void setIsChecked(bool value) { m_isChecked = value; }
    QString name() const { return m_name; }
    void setName(const QString& value) { m_name = value; }
    QString foldersize() const { return m_foldersize; }
    void setFoldersize(const QString& value) { m_foldersize = value; }
    QString description() const { return m_description; }
    void setDescription(const QString& value) { m_description = value; }
    quint64 numsize() const { return m_numsize; }
    void setNumsize(quint64 value) { m_numsize = value; }
    // Sandboxed data the sandbox could not reach through a link: shown greyed, never ticked.
    QString sandboxNote() const { return m_sandboxNote; }
    QString sandboxHint() const { return m_sandboxHint; }
    void setSandbox(const QString& note, const QString& hint)
    {
        m_sandboxNote = note;
        m_sandboxHint = hint;
    }
    bool isTickable() const { return m_sandboxNote.isEmpty(); }

private:
    bool m_isChecked = false;
    QString m_name;
    QString m_foldersize;
    QString m_description;
    quint64 m_numsize = 0;
    QString m_sandboxNote;
    QString m_sandboxHint;
};
