#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QString>

namespace korimado {

// The file browser's refusals and failures, thrown by its file operations.
class WorkspaceFileError {
public:
    enum class Case {
        sourceMissing,
        destinationExists,
        notDirectory,
        openDocument,
        operationFailed,
        invalidName,
        outsideWorkspace,
        rootOperation,
        destinationInsideSource,
    };

    static WorkspaceFileError sourceMissing(const QString& name) { return {Case::sourceMissing, name}; }
    static WorkspaceFileError destinationExists(const QString& name) { return {Case::destinationExists, name}; }
    static WorkspaceFileError notDirectory(const QString& name) { return {Case::notDirectory, name}; }
    static WorkspaceFileError openDocument(const QString& name) { return {Case::openDocument, name}; }
    static WorkspaceFileError operationFailed(const QString& operation, const ErrorInfo& underlying)
    {
        WorkspaceFileError error{Case::operationFailed, QString()};
        error.operation_ = operation;
        error.underlying_ = underlying;
        return error;
    }
    static WorkspaceFileError invalidName() { return {Case::invalidName, QString()}; }
    static WorkspaceFileError outsideWorkspace() { return {Case::outsideWorkspace, QString()}; }
    static WorkspaceFileError rootOperation() { return {Case::rootOperation, QString()}; }
    static WorkspaceFileError destinationInsideSource() { return {Case::destinationInsideSource, QString()}; }

    Case errorCase() const { return case_; }
    // The last path component the error speaks of; empty for the cases without one.
    const QString& name() const { return name_; }
    const QString& operation() const { return operation_; }
    const ErrorInfo& underlying() const { return underlying_; }

    QString errorDescription() const;
    ErrorInfo errorInfo() const;

private:
    WorkspaceFileError(Case c, QString name) : case_(c), name_(std::move(name)) {}
    Case case_;
    QString name_;
    QString operation_;
    ErrorInfo underlying_;
};

}  // namespace korimado
