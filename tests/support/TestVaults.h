#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Real vaults for tests, made and detached with the built disk-image tool. The key derivation
// is made cheap for the whole test process, so a password check takes milliseconds.
class TestVaults
{
public:
    // Sets the cheap key derivation for this process and the tools it starts.
    static void useCheapKeyDerivation();
    // Everything a test of real vaults needs: the built tool and cheap key derivation. False
    // unless the home is the private one the test launcher made.
    static bool prepare();
    // A fresh start for one case: no settings, an empty Trash, nothing left in folder.
    static void clearCase(const QString& folder);
    // Creates <folder>/<name>.sparsebundle; the image path, or empty on failure.
    static QString create(const QString& folder, const QString& name, const QByteArray& password);
    // Runs the tool with args and input; its exit status (-1 when it did not run).
    static int runTool(const QStringList& args, const QByteArray& input = {});
    // Attaches the image with the password; true when it is mounted afterwards.
    static bool attach(const QString& imagePath, const QByteArray& password);
    static bool isMounted(const QString& vaultName);
    // Detaches the vault when it is mounted; true when it is not mounted afterwards.
    static bool detach(const QString& vaultName);
};
