;;SELECT [CG08_CODICE] AS [Codice] -- the code
FROM [dbo].[CG08_TABVALUTE] /* a /* nested */ comment */