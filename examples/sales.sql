-- Sample data for examples/sales.form: revenue by month and region. The
-- sums over both regions are the values of the reference chart R1 (two
-- months below zero); a request may ask for one region (?region=EU).
CREATE TABLE sales(month_no INTEGER, month TEXT, revenue REAL, region TEXT);
INSERT INTO sales(month_no, month, revenue, region) VALUES
  (1, 'Jan', 7, 'EU'), (1, 'Jan', 5, 'US'),
  (2, 'Feb', 11, 'EU'), (2, 'Feb', 8, 'US'),
  (3, 'Mar', 1, 'EU'), (3, 'Mar', 2, 'US'),
  (4, 'Apr', -2, 'EU'), (4, 'Apr', -3, 'US'),
  (5, 'May', 13, 'EU'), (5, 'May', 9, 'US'),
  (6, 'Jun', 10, 'EU'), (6, 'Jun', 7, 'US'),
  (7, 'Jul', 4, 'EU'), (7, 'Jul', 5, 'US'),
  (8, 'Aug', 6, 'EU'), (8, 'Aug', 8, 'US'),
  (9, 'Sep', 1, 'EU'), (9, 'Sep', -3, 'US'),
  (10, 'Oct', 15, 'EU'), (10, 'Oct', 10, 'US'),
  (11, 'Nov', 18, 'EU'), (11, 'Nov', 12, 'US'),
  (12, 'Dec', 6, 'EU'), (12, 'Dec', 5, 'US');

-- Orders per day and channel over two years, for examples/orders.form's
-- time axes: a rise over the years, a peak each summer, fewer orders at
-- weekends (2025-01-01 was a Wednesday, so days 3 and 4 of each week are
-- Saturday and Sunday) and some day-to-day noise. Dates are ISO texts in a
-- DATE column, which makes them date fields.
CREATE TABLE daily(day DATE, channel TEXT, orders INTEGER);
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 729)
INSERT INTO daily(day, channel, orders)
SELECT date('2025-01-01', '+' || i || ' days'), channel,
       base + i / 12 + 40 - abs(((i + 1) % 365) - 182) * 40 / 182
            - (CASE WHEN i % 7 IN (3, 4) THEN weekend ELSE 0 END) + (i * 7919 + shift) % 23 - 11
FROM n, (SELECT 'Web' AS channel, 120 AS base, 18 AS weekend, 0 AS shift
         UNION ALL SELECT 'Store', 70, -12, 11);
-- The same by month: each month's first day stands for it.
CREATE TABLE monthly(month DATE, channel TEXT, orders INTEGER);
INSERT INTO monthly(month, channel, orders)
SELECT strftime('%Y-%m-01', day), channel, SUM(orders) FROM daily GROUP BY 1, 2 ORDER BY 1, 2;
